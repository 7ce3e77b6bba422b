// A brightness profile: radius fraction (0 = centre, 1 = limb) -> surface
// brightness. A non-owning reference to a plain function or to any callable
// object; the limb-darkened routes borrow it for one call.
#pragma once

#include <memory>
#include <type_traits>

namespace magnifex {

class Profile {
public:
    Profile(double (*function)(double))
        : function_(function), call_([](const Profile& p, double x) { return p.function_(x); }) {}

    template <class F, class = std::enable_if_t<std::is_class_v<F> && !std::is_same_v<F, Profile>>>
    Profile(const F& object)
        : object_(std::addressof(object)),
          call_([](const Profile& p, double x) { return (*static_cast<const F*>(p.object_))(x); }) {}

    double operator()(double x) const { return call_(*this, x); }

private:
    double (*function_)(double) = nullptr;
    const void* object_ = nullptr;
    double (*call_)(const Profile&, double);
};

}  // namespace magnifex
