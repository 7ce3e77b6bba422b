#include "binding/arguments.hpp"

#include <algorithm>
#include <utility>

#include "binding/text.hpp"

namespace magnifex::binding {

namespace {

const char* was_or_were(std::size_t count) { return count == 1 ? "was" : "were"; }

}  // namespace

// Written out by hand: std::to_string would pull a unique-symbol table of
// libstdc++ into the module's exported symbols.
std::string decimal(std::size_t value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

void push_parameter_list(std::string& text, std::span<const std::string_view> names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i != 0) {
            if (names.size() > 2) text += ',';
            text += (i == names.size() - 1) ? " and " : " ";
        }
        text += '\'';
        text += names[i];
        text += '\'';
    }
}

std::string FunctionDescription::display_name() const {
    std::string name;
    if (!class_name.empty()) {
        name += class_name;
        name += '.';
    }
    name += function_name;
    name += "()";
    return name;
}

PyErr FunctionDescription::too_many_positional_arguments(std::size_t given) const {
    const std::size_t total = positional_names.size();
    std::string message = display_name();
    if (required_positional_count != total) {
        message += " takes from " + decimal(required_positional_count) + " to " + decimal(total);
    } else {
        message += " takes " + decimal(total);
    }
    message += " positional arguments but " + decimal(given) + " " + was_or_were(given) + " given";
    return type_error(std::move(message));
}

PyErr FunctionDescription::multiple_values_for_argument(std::string_view name) const {
    return type_error(display_name() + " got multiple values for argument '" + std::string(name) + "'");
}

PyErr FunctionDescription::unexpected_keyword_argument(PyObject* name) const {
    return type_error(display_name() + " got an unexpected keyword argument '" + text_of(name) + "'");
}

PyErr FunctionDescription::positional_only_keyword_arguments(std::span<const std::string_view> names) const {
    std::string message = display_name() + " got some positional-only arguments passed as keyword arguments: ";
    push_parameter_list(message, names);
    return type_error(std::move(message));
}

PyErr FunctionDescription::missing_required_arguments(std::string_view kind,
                                                      std::span<const std::string_view> names) const {
    std::string message = display_name() + " missing " + decimal(names.size()) + " required " +
                          std::string(kind) + (names.size() == 1 ? " argument: " : " arguments: ");
    push_parameter_list(message, names);
    return type_error(std::move(message));
}

PyErr FunctionDescription::missing_required_positional_arguments(std::span<PyObject* const> slots) const {
    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < required_positional_count; ++i) {
        if (slots[i] == nullptr) missing.push_back(positional_names[i]);
    }
    return missing_required_arguments("positional", missing);
}

PyErr FunctionDescription::missing_required_keyword_arguments(std::span<PyObject* const> keyword_slots) const {
    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < keyword_only.size(); ++i) {
        if (keyword_only[i].required && keyword_slots[i] == nullptr) missing.push_back(keyword_only[i].name);
    }
    return missing_required_arguments("keyword", missing);
}

MaybeError extract_arguments_fastcall(const FunctionDescription& description, PyObject* const* args,
                                      Py_ssize_t nargs, PyObject* kwnames, std::span<PyObject*> slots) {
    const std::size_t positional_count = description.positional_names.size();
    const auto given = static_cast<std::size_t>(nargs);

    // Positional arguments fill the first slots; too many ends the matching
    // before any keyword is looked at.
    if (args != nullptr) {
        std::copy_n(args, std::min(positional_count, given), slots.begin());
        if (given > positional_count) return description.too_many_positional_arguments(given);
    }

    // Keyword arguments, in the order of the name tuple; the first problem decides.
    std::vector<std::string_view> positional_only_passed;
    const Py_ssize_t keyword_count = kwnames != nullptr ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t i = 0; i < keyword_count; ++i) {
        PyObject* name_object = PyTuple_GET_ITEM(kwnames, i);
        PyObject* value = args[nargs + i];
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(name_object, &size);
        if (data == nullptr) {
            (void)PyErr::take();
            return description.unexpected_keyword_argument(name_object);
        }
        const std::string_view name(data, static_cast<std::size_t>(size));

        auto keyword_match = std::find_if(description.keyword_only.begin(), description.keyword_only.end(),
                                          [&](const KeywordOnlyParameter& p) { return p.name == name; });
        if (keyword_match != description.keyword_only.end()) {
            PyObject*& slot = slots[positional_count + (keyword_match - description.keyword_only.begin())];
            if (slot != nullptr) return description.multiple_values_for_argument(keyword_match->name);
            slot = value;
            continue;
        }
        auto positional_match = std::find(description.positional_names.begin(), description.positional_names.end(), name);
        if (positional_match != description.positional_names.end()) {
            const auto j = static_cast<std::size_t>(positional_match - description.positional_names.begin());
            if (j < description.positional_only_count) {
                positional_only_passed.push_back(*positional_match);
            } else if (slots[j] != nullptr) {
                return description.multiple_values_for_argument(*positional_match);
            } else {
                slots[j] = value;
            }
            continue;
        }
        return description.unexpected_keyword_argument(name_object);
    }

    if (!positional_only_passed.empty()) return description.positional_only_keyword_arguments(positional_only_passed);

    const std::size_t required = description.required_positional_count;
    if (given < required) {
        for (std::size_t i = given; i < required; ++i) {
            if (slots[i] == nullptr) return description.missing_required_positional_arguments(slots);
        }
    }

    const auto keyword_slots = slots.subspan(positional_count);
    for (std::size_t i = 0; i < description.keyword_only.size(); ++i) {
        if (description.keyword_only[i].required && keyword_slots[i] == nullptr) {
            return description.missing_required_keyword_arguments(keyword_slots);
        }
    }
    return std::nullopt;
}

PyErr argument_extraction_error(std::string_view name, PyErr error) {
    if (error.type() != PyExc_TypeError) return error;
    PyErr remapped = type_error("argument '" + std::string(name) + "': " + text_of(error.value()));
    remapped.set_cause(error.cause());
    return remapped;
}

}  // namespace magnifex::binding
