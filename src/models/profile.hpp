// A brightness profile: radius fraction (0 = centre, 1 = limb) -> surface
// brightness. A non-owning reference to any callable; the limb-darkened
// routes borrow it for one call.
#pragma once

#include <memory>
#include <type_traits>

namespace magnifex {

class Profile {
public:
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, Profile>>>
    Profile(const F& f)
        : context_(std::addressof(f)),
          call_([](const void* c, double x) { return (*static_cast<const F*>(c))(x); }) {}

    double operator()(double x) const { return call_(context_, x); }

private:
    const void* context_;
    double (*call_)(const void*, double);
};

}  // namespace magnifex
