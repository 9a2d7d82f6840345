// The C++ side of bench/python_bench.py: the calls the Python benchmark
// makes, made directly on the C++ classes in the same process, timed here so
// that no Python runs inside the measured loop.
#include <pybind11/pybind11.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "components/progressbar/progressbar.h"
#include "components/tree/tree.h"
#include "core/variant.h"

namespace py = pybind11;

namespace {

using Clock = std::chrono::steady_clock;

// The navigation tree: 20 menus of 10 nodes, with arguments built as the
// Python side builds them, every result appended to one page.
std::string NavTree() {
  halvane::Tree t;
  t.Width("240");
  std::string out = t.WriteExpandCollapse();
  for (int m = 1; m <= 20; ++m) {
    out += t.WriteMenuHeader("Menu " + std::to_string(m));
    for (int n = 1; n <= 10; ++n) {
      const std::string mn = std::to_string(m) + "." + std::to_string(n);
      out += t.WriteNode("Item " + mn, "/page" + std::to_string(m) + "_" + std::to_string(n) + ".htm", "_top",
                         "images/page.gif");
    }
    out += t.WriteMenuFooter();
  }
  return out;
}

// Seconds per page over `pages` pages, and the last page.
py::tuple TimeNavTree(int pages) {
  std::string page;
  const auto start = Clock::now();
  for (int i = 0; i < pages; ++i) page = NavTree();
  const std::chrono::duration<double> took = Clock::now() - start;
  return py::make_tuple(took.count() / pages, py::bytes(page));
}

// Seconds per ProgressBar::SetValue(42) over `calls` calls on one bar.
double TimeSetValue(int calls) {
  halvane::ProgressBar bar;
  const halvane::Variant value(std::int16_t{42});
  std::size_t bytes = 0;
  const auto start = Clock::now();
  for (int i = 0; i < calls; ++i) bytes += bar.SetValue(value).size();
  const std::chrono::duration<double> took = Clock::now() - start;
  if (bytes == 0) throw std::runtime_error("SetValue wrote nothing");
  return took.count() / calls;
}

}  // namespace

PYBIND11_MODULE(halvane_bench_direct, m) {
  m.def("nav_tree", &TimeNavTree, "(seconds per page, page bytes) of the navigation tree made in C++");
  m.def("set_value", &TimeSetValue, "seconds per ProgressBar::SetValue(42) in C++");
}
