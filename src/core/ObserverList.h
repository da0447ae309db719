#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace skyloom {

// A minimal observer mechanism: callbacks registered under a token, called in
// registration order. A callback may add or remove observers while it runs: a
// removed observer is not called again, not even later in the same
// notification (its owner may be gone), and one added is first called by the
// next notification.
template <typename... Args> class ObserverList {
public:
    using Callback = std::function<void(Args...)>;
    using Token = std::uint64_t;

    Token add(Callback callback) {
        entries_.push_back(std::make_shared<Entry>(Entry{++lastToken_, std::move(callback)}));
        return lastToken_;
    }

    void remove(Token token) {
        std::erase_if(entries_, [token](const std::shared_ptr<Entry>& e) {
            if (e->token != token)
                return false;
            e->removed = true;
            return true;
        });
    }

    bool empty() const { return entries_.empty(); }

    void notify(Args... args) const {
        if (entries_.empty())
            return;
        auto snapshot = entries_;
        for (const auto& entry : snapshot)
            if (!entry->removed)
                entry->callback(args...);
    }

private:
    struct Entry {
        Token token;
        Callback callback;
        bool removed = false;
    };
    std::vector<std::shared_ptr<Entry>> entries_;
    Token lastToken_ = 0;
};

} // namespace skyloom
