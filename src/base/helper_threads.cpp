#include "base/helper_threads.h"

#include <system_error>

namespace quenlet {

bool tryToStartThread(std::thread& thread, std::function<void()> body) {
    try {
        thread = std::thread(std::move(body));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

std::size_t HelperThreads::start(std::size_t count, const std::function<void()>& body) {
    threads_.reserve(threads_.size() + count);  // so that keeping a started helper cannot fail
    for (std::size_t i = 0; i < count; ++i) {
        std::thread helper;
        if (!tryToStartThread(helper, body)) break;
        threads_.push_back(std::move(helper));
    }
    return threads_.size();
}

void HelperThreads::join() {
    for (std::thread& helper : threads_)
        if (helper.joinable()) helper.join();
    threads_.clear();
}

}  // namespace quenlet
