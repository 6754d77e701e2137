// Rows of a parameterised test that carry a name: GoogleTest prints them (in the names CTest lists)
// and names their tests by it, never by their bytes.
#pragma once

#include <ostream>
#include <string>

// In the unnamed namespace where the test files declare their rows, so that GoogleTest finds it.
namespace {

template <class Row>
requires requires(const Row& row) {
    row.name;
}
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

/// The name suffix of a row's test: the row's name.
inline constexpr auto rowName = [](const auto& info) { return std::string(info.param.name); };

} // namespace
