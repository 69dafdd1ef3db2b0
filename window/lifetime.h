#pragma once
// What an object of the window hands the toolkit to call later (an event, a
// deferred block, a panel's answer) must not keep it alive and must not reach
// it once it is gone: each such call checks the object's lifetime first. The
// lifetime ends with the object that holds it.

#include <memory>
#include <utility>

namespace mivra {

class Lifetime {
public:
    Lifetime() = default;
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;

    // `call` while the holder lives, `otherwise` once it is gone; both take
    // the same arguments and give the same result.
    template <typename Call, typename Otherwise>
    auto whileAlive(Call call, Otherwise otherwise) const
    {
        return [alive = std::weak_ptr<const bool>(alive_), call = std::move(call),
                otherwise = std::move(otherwise)](auto&&... arguments) {
            if (alive.expired())
                return otherwise(std::forward<decltype(arguments)>(arguments)...);
            return call(std::forward<decltype(arguments)>(arguments)...);
        };
    }

    // `call` while the holder lives, nothing once it is gone.
    template <typename Call>
    auto whileAlive(Call call) const
    {
        return whileAlive(std::move(call), [](auto&&...) {});
    }

private:
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

}  // namespace mivra
