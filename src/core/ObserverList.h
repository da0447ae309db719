#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace skyloom {

// A minimal observer mechanism: callbacks registered under a token, called in
// registration order. Safe against callbacks that add or remove observers.
template <typename... Args> class ObserverList {
public:
    using Callback = std::function<void(Args...)>;
    using Token = std::uint64_t;

    Token add(Callback callback) {
        entries_.push_back({++lastToken_, std::move(callback)});
        return lastToken_;
    }

    void remove(Token token) {
        std::erase_if(entries_, [token](const Entry& e) { return e.token == token; });
    }

    bool empty() const { return entries_.empty(); }

    void notify(Args... args) const {
        if (entries_.empty())
            return;
        auto snapshot = entries_;
        for (const auto& entry : snapshot)
            entry.callback(args...);
    }

private:
    struct Entry {
        Token token;
        Callback callback;
    };
    std::vector<Entry> entries_;
    Token lastToken_ = 0;
};

} // namespace skyloom
