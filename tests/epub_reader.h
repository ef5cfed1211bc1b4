// Reads a finished EPUB back for tests: its zip entries as libzip sees them,
// and its package, table of contents and text as an XML parser sees them --
// headings and paragraphs in reading order, the markup removed.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <zip.h>

#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quenlet::test {

struct ZipItem {
    std::string name;
    std::string data;
    bool stored = false;
    int localExtraFields = 0;
};

inline std::vector<ZipItem> readZip(const std::string& bytes) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
    if (!archive) {
        if (source) zip_source_free(source);
        throw std::runtime_error(std::string("not a zip archive: ") + zip_error_strerror(&error));
    }
    std::vector<ZipItem> items;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
        ZipItem item;
        item.name = stat.name;
        item.stored = stat.comp_method == ZIP_CM_STORE;
        item.localExtraFields = zip_file_extra_fields_count(archive, static_cast<zip_uint64_t>(i), ZIP_FL_LOCAL);
        item.data.resize(stat.size);
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (!file || zip_fread(file, item.data.data(), stat.size) != static_cast<zip_int64_t>(stat.size))
            throw std::runtime_error("cannot read " + item.name);
        zip_fclose(file);
        items.push_back(std::move(item));
    }
    zip_discard(archive);
    return items;
}

using XmlDoc = std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)>;

inline XmlDoc parseXml(const std::string& text, const std::string& name) {
    XmlDoc doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), name.c_str(), nullptr, XML_PARSE_NONET),
               xmlFreeDoc);
    if (!doc) throw std::runtime_error(name + " is not well-formed XML");
    return doc;
}

inline bool named(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

inline std::string contentOf(const xmlNode* node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

inline std::string attribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

// The elements named `name` below `node`, in document order.
inline void findAll(xmlNode* node, const char* name, std::vector<xmlNode*>& found) {
    for (xmlNode* child = node->children; child; child = child->next) {
        if (named(child, name)) found.push_back(child);
        findAll(child, name, found);
    }
}

inline xmlNode* findFirst(xmlNode* node, const char* name) {
    std::vector<xmlNode*> found;
    findAll(node, name, found);
    return found.empty() ? nullptr : found.front();
}

struct TocItem {
    std::string title;
    std::string target;
    std::vector<TocItem> children;
    bool operator==(const TocItem&) const = default;
};

// A heading (h1 volume, h2 chapter, h3 inside a chapter), a paragraph (p)
// or an entry of a list (li), with its document.
struct Block {
    std::string tag;
    std::string text;
    std::string styleClass;
    std::string document;
};

struct EpubBook {
    std::vector<ZipItem> entries;
    std::map<std::string, std::string> files;
    std::string title, author, language, identifier, modified, progression;
    std::vector<std::string> spine;      // document paths inside the archive
    std::vector<std::string> documents;  // those of the text, without the cover and the contents
    std::vector<TocItem> nav, ncx;
    std::vector<Block> blocks;
    std::string css;
    std::string coverImage;  // its path inside the archive

    std::vector<std::string> texts(const std::string& tag) const {
        std::vector<std::string> out;
        for (const Block& b : blocks)
            if (b.tag == tag) out.push_back(b.text);
        return out;
    }
};

inline std::vector<TocItem> navItems(xmlNode* list) {
    std::vector<TocItem> items;
    for (xmlNode* li = list->children; li; li = li->next) {
        if (!named(li, "li")) continue;
        TocItem item;
        for (xmlNode* child = li->children; child; child = child->next) {
            if (named(child, "a")) {
                item.title = contentOf(child);
                item.target = "OEBPS/" + attribute(child, "href");
            } else if (named(child, "ol")) {
                item.children = navItems(child);
            }
        }
        items.push_back(item);
    }
    return items;
}

inline std::vector<TocItem> ncxItems(xmlNode* parent) {
    std::vector<TocItem> items;
    for (xmlNode* point = parent->children; point; point = point->next) {
        if (!named(point, "navPoint")) continue;
        TocItem item;
        item.title = contentOf(findFirst(point, "text"));
        item.target = "OEBPS/" + attribute(findFirst(point, "content"), "src");
        item.children = ncxItems(point);
        items.push_back(item);
    }
    return items;
}

inline EpubBook readEpub(const std::string& bytes) {
    EpubBook book;
    book.entries = readZip(bytes);
    for (const ZipItem& item : book.entries) book.files[item.name] = item.data;
    const XmlDoc package = parseXml(book.files.at("OEBPS/content.opf"), "content.opf");
    xmlNode* root = xmlDocGetRootElement(package.get());
    auto text = [&](const char* name) {
        xmlNode* node = findFirst(root, name);
        return node ? contentOf(node) : std::string();
    };
    book.title = text("title");
    book.author = text("creator");
    book.language = text("language");
    book.identifier = text("identifier");
    std::vector<xmlNode*> nodes;
    findAll(root, "meta", nodes);
    for (xmlNode* meta : nodes)
        if (attribute(meta, "property") == "dcterms:modified") book.modified = contentOf(meta);
    std::map<std::string, std::string> manifest;
    nodes.clear();
    findAll(root, "item", nodes);
    for (xmlNode* item : nodes) manifest[attribute(item, "id")] = "OEBPS/" + attribute(item, "href");
    xmlNode* spine = findFirst(root, "spine");
    book.progression = attribute(spine, "page-progression-direction");
    nodes.clear();
    findAll(spine, "itemref", nodes);
    for (xmlNode* ref : nodes) book.spine.push_back(manifest.at(attribute(ref, "idref")));
    for (const std::string& path : book.spine)
        if (path.starts_with("OEBPS/text/")) book.documents.push_back(path);
    nodes.clear();
    findAll(root, "item", nodes);
    for (xmlNode* item : nodes)
        if (attribute(item, "properties") == "cover-image") book.coverImage = "OEBPS/" + attribute(item, "href");

    const XmlDoc nav = parseXml(book.files.at("OEBPS/nav.xhtml"), "nav.xhtml");
    book.nav = navItems(findFirst(findFirst(xmlDocGetRootElement(nav.get()), "nav"), "ol"));
    const XmlDoc ncx = parseXml(book.files.at("OEBPS/toc.ncx"), "toc.ncx");
    book.ncx = ncxItems(findFirst(xmlDocGetRootElement(ncx.get()), "navMap"));
    book.css = book.files.at("OEBPS/style.css");

    for (const std::string& path : book.documents) {
        const XmlDoc doc = parseXml(book.files.at(path), path);
        for (xmlNode* node = findFirst(xmlDocGetRootElement(doc.get()), "body")->children; node; node = node->next) {
            if (node->type != XML_ELEMENT_NODE) continue;
            if (named(node, "ul")) {
                for (xmlNode* li = node->children; li; li = li->next)
                    if (named(li, "li")) book.blocks.push_back({"li", contentOf(li), attribute(node, "class"), path});
                continue;
            }
            book.blocks.push_back({reinterpret_cast<const char*>(node->name), contentOf(node),
                                   attribute(node, "class"), path});
        }
    }
    return book;
}

}  // namespace quenlet::test
