// A scratch folder for file tests, removed with everything in it.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace quenlet::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quenlet-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        ::chmod(path_.c_str(), 0777);  // reachable by the unprivileged helper of permission tests
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::all, ignored);
        for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path(const std::string& name = "") const { return name.empty() ? path_ : path_ + "/" + name; }

    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string file = path(name);
        makeFolders(std::filesystem::path(file).parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
        ::chmod(file.c_str(), 0666);
        return file;
    }

    // Creates the folders open to everyone, like the scratch folder itself.
    void makeFolders(const std::filesystem::path& folder) const {
        if (folder.string().size() <= path_.size() || std::filesystem::exists(folder)) return;
        makeFolders(folder.parent_path());
        std::filesystem::create_directory(folder);
        ::chmod(folder.c_str(), 0777);
    }

private:
    std::string path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// About `bytes` of a small novel in UTF-8, lines broken inside paragraphs.
inline std::string novelText(std::size_t bytes) {
    const std::string piece = "他说：“你好。”然后走了，\r\n走得很远。\r\n第一章　归来\r\n";
    std::string text;
    text.reserve(bytes + piece.size());
    while (text.size() < bytes) text += piece;
    return text;
}

inline bool exists(const std::string& path) {
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace quenlet::test
