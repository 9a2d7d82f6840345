// The C++ side of bench/python_bench.py: the calls the Python benchmark
// makes, made directly on the C++ classes in the same process, timed here so
// that no Python runs inside the measured loop.
#include <pybind11/pybind11.h>

#include <array>
#include <chrono>
#include <stdexcept>
#include <vector>
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

// The same calls with every argument made beforehand: the cost of the calls
// alone.
struct NavArgs {
  std::vector<std::string> headers;
  std::vector<std::array<std::string, 2>> nodes;
};
const NavArgs& PreparedArgs() {
  static const NavArgs args = [] {
    NavArgs a;
    for (int m = 1; m <= 20; ++m) {
      a.headers.push_back("Menu " + std::to_string(m));
      for (int n = 1; n <= 10; ++n)
        a.nodes.push_back({"Item " + std::to_string(m) + "." + std::to_string(n),
                           "/page" + std::to_string(m) + "_" + std::to_string(n) + ".htm"});
    }
    return a;
  }();
  return args;
}

std::string NavTreePrepared(const NavArgs& a) {
  halvane::Tree t;
  t.Width("240");
  std::string out = t.WriteExpandCollapse();
  for (std::size_t m = 0; m < 20; ++m) {
    out += t.WriteMenuHeader(a.headers[m]);
    for (std::size_t n = 0; n < 10; ++n) {
      const auto& node = a.nodes[m * 10 + n];
      out += t.WriteNode(node[0], node[1], "_top", "images/page.gif");
    }
    out += t.WriteMenuFooter();
  }
  return out;
}

double TimeNavTreePrepared(int pages) {
  const NavArgs& args = PreparedArgs();
  // The last page is kept until the next is made, as in TimeNavTree: a page
  // freed before the next is built lets the allocator hand its memory back,
  // and the next page then pays some six page faults for it again.
  std::string page;
  const auto start = Clock::now();
  for (int i = 0; i < pages; ++i) page = NavTreePrepared(args);
  const std::chrono::duration<double> took = Clock::now() - start;
  if (page.empty()) throw std::runtime_error("no page");
  return took.count() / pages;
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
  m.def("nav_tree_prepared", &TimeNavTreePrepared, "seconds per page of the tree with its arguments made beforehand");
  m.def("set_value", &TimeSetValue, "seconds per ProgressBar::SetValue(42) in C++");
}
