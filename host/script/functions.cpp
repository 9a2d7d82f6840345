#include "host/script/functions.h"

#include <algorithm>
#include <array>

namespace halvane::script::functions {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool LessNoCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Lower(x) < Lower(y); });
}

Variant CallLen(std::span<const Variant> args, const Context&) { return Len(args[0]); }

// Sorted by name without regard to case, for the binary search of Find.
constexpr std::array kTable{
    Function{"Len", 1, 1, CallLen},
};

}  // namespace

const Function* Find(std::string_view name) {
  auto it = std::lower_bound(kTable.begin(), kTable.end(), name,
                             [](const Function& f, std::string_view n) { return LessNoCase(f.name, n); });
  if (it == kTable.end() || LessNoCase(name, it->name)) return nullptr;
  return &*it;
}

std::span<const Function> All() { return kTable; }

}  // namespace halvane::script::functions
