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

    // Whether this is the plain function `function` (the routes know the
    // built-in law's derivative and integrate it by parts).
    bool is(double (*function)(double)) const { return function_ != nullptr && function_ == function; }

private:
    double (*function_)(double) = nullptr;
    const void* object_ = nullptr;
    double (*call_)(const Profile&, double);
};

// One piece of a profile that is linear between given radii:
// I(x) = slope * x + intercept on [lo, hi], 0 <= lo < hi <= 1, with its values
// at the ends, at_lo and at_hi, as the table gives them: where two radii are
// an ulp apart, slope and intercept are huge and slope * x + intercept has
// lost every digit of I, but the end values have not.
struct LinearPiece {
    double lo, hi, slope, intercept;
    double at_lo, at_hi;
};

}  // namespace magnifex
