#pragma once
// A non-owning reference to a callable, for callbacks that live only during one call (no allocation).

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace vorn_ui {

template <class Signature>
class FunctionRef;

template <class R, class... Args>
class FunctionRef<R(Args...)> {
public:
    template <class F>
        requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> && std::is_invocable_r_v<R, F&, Args...>)
    FunctionRef(F&& callable) noexcept  // NOLINT: implicit on purpose, like std::function_ref
        : object_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
          call_([](void* object, Args... args) -> R {
              return std::invoke(*static_cast<std::remove_reference_t<F>*>(object), std::forward<Args>(args)...);
          })
    {
    }

    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

private:
    void* object_;
    R (*call_)(void*, Args...);
};

}  // namespace vorn_ui
