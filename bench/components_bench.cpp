// Output methods of the six components, each against its two baselines; the
// add calls; the 1820-row menu; the tree page of 10,000 nodes in 1,000 menus;
// and the scaling of add N rows + write the menu from 10 to 1820 rows.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "halvane.h"

namespace halvane::bench {
namespace {

constexpr std::size_t kFirst = 1;          // a first call: one call per object
constexpr std::size_t kFirstPool = 512;    // fresh objects made at a time
constexpr std::size_t kLaterUses = 20000;  // well below the 16-bit counters' limit
constexpr std::size_t kLaterPool = 4;

// A fixed "now" (4 December 2026) so that every Calendar is the same.
double FixedNow() { return 46360.0; }

// ---- AutoComplete ---------------------------------------------------------------

void RegisterAutoComplete() {
  auto call = [](AutoComplete& a) { return a.EmbedAutoComplete("city", "cityList", true, false); };
  RegisterOutput(
      "AutoComplete.EmbedAutoComplete/first", Size::Large, [] { return AutoComplete(); }, call, kFirstPool, kFirst);
  RegisterOutput(
      "AutoComplete.EmbedAutoComplete/later", Size::Small,
      [call] {
        AutoComplete a;
        call(a);
        return a;
      },
      call, kLaterPool, kLaterUses);
}

// ---- Calendar --------------------------------------------------------------------

Calendar MakeCalendar() {
  Calendar c(FixedNow);
  c.ActiveDate(Variant("3/5/2004"));
  return c;
}

void RegisterCalendar() {
  const Variant agenda("agenda");
  const Variant due("departureDate");
  auto embedded = [agenda](Calendar& c) { return c.DisplayEmbedded(agenda); };
  auto popup = [due](Calendar& c) { return c.DisplayPopup(due); };
  RegisterOutput("Calendar.DisplayEmbedded/first", Size::Large, MakeCalendar, embedded, kFirstPool, kFirst);
  RegisterOutput(
      "Calendar.DisplayEmbedded/later", Size::Small,
      [embedded] {
        Calendar c = MakeCalendar();
        embedded(c);
        return c;
      },
      embedded, kLaterPool, kLaterUses);
  RegisterOutput("Calendar.DisplayPopup/first", Size::Large, MakeCalendar, popup, kFirstPool, kFirst);
  RegisterOutput(
      "Calendar.DisplayPopup/later", Size::Small,
      [popup] {
        Calendar c = MakeCalendar();
        popup(c);
        return c;
      },
      popup, kLaterPool, kLaterUses);
  // The popup after the embedded calendar: the common block is already out.
  RegisterOutput(
      "Calendar.DisplayPopup/after-embedded", Size::Large,
      [embedded] {
        Calendar c = MakeCalendar();
        embedded(c);
        return c;
      },
      popup, kFirstPool, kFirst);
}

// ---- PopupMenu ----------------------------------------------------------------------

// Row i of a menu: a title every 20 rows, a rule every 10, items between.
void AddRow(PopupMenu& m, int i) {
  if (i % 20 == 0) {
    m.AddMenuTitle("Section " + std::to_string(i / 20 + 1));
  } else if (i % 10 == 0) {
    m.AddHorizontalRule("/images/1x1.gif");
  } else {
    m.AddMenuItem("Item " + std::to_string(i), "location.href='/items/" + std::to_string(i) + ".htm'",
                  "/images/icons/item.gif");
  }
}

PopupMenu MakeMenu(int rows) {
  PopupMenu m;
  for (int i = 0; i < rows; ++i) AddRow(m, i);
  return m;
}

void RegisterPopupMenu() {
  auto embed = [](PopupMenu& m) { return m.EmbedPopupMenu(); };
  RegisterOutput(
      "PopupMenu.EmbedPopupMenu/5-rows", Size::Small, [] { return MakeMenu(5); }, embed, 1, SIZE_MAX);
  RegisterOutput(
      "PopupMenu.EmbedPopupMenu/1820-rows", Size::Large, [] { return MakeMenu(1820); }, embed, 1, SIZE_MAX);
}

// The add calls, each on a menu that is replaced every 1000 rows.
void RegisterAddCalls() {
  struct AddCase {
    const char* name;
    void (*add)(PopupMenu&);
  };
  static const std::string kTitle = "Section", kDisplay = "Open", kOnClick = "location.href='/open.htm'",
                           kImage = "/images/icons/open.gif", kPixel = "/images/1x1.gif";
  static const AddCase kCases[] = {
      {"add/PopupMenu.AddMenuTitle", [](PopupMenu& m) { m.AddMenuTitle(kTitle); }},
      {"add/PopupMenu.AddMenuItem", [](PopupMenu& m) { m.AddMenuItem(kDisplay, kOnClick, kImage); }},
      {"add/PopupMenu.AddHorizontalRule", [](PopupMenu& m) { m.AddHorizontalRule(kPixel); }},
  };
  for (const AddCase& c : kCases) {
    bm::RegisterBenchmark(c.name, [add = c.add](bm::State& state) {
      auto make = [] { return PopupMenu(); };
      Pool<PopupMenu, decltype(make)> menus(make, 1, 1000);
      for (auto _ : state) add(menus.Next(state));
      // Allocations per add, over a whole menu of 1000 rows (the stored
      // rows grow geometrically).
      PopupMenu m;
      const std::size_t n = alloc_count::During([&] {
        for (int i = 0; i < 1000; ++i) add(m);
      });
      state.counters["allocs"] = static_cast<double>(n) / 1000.0;
    });
  }
}

// Adding N rows and writing the menu; time per row should not depend on N.
void MenuOfRows(bm::State& state) {
  const int rows = static_cast<int>(state.range(0));
  std::vector<std::string> titles, displays, clicks;
  for (int i = 0; i < rows; ++i) {
    titles.push_back("Section " + std::to_string(i / 20 + 1));
    displays.push_back("Item " + std::to_string(i));
    clicks.push_back("location.href='/items/" + std::to_string(i) + ".htm'");
  }
  std::size_t bytes = 0;
  for (auto _ : state) {
    PopupMenu m;
    for (int i = 0; i < rows; ++i) {
      if (i % 20 == 0) {
        m.AddMenuTitle(titles[i]);
      } else if (i % 10 == 0) {
        m.AddHorizontalRule("/images/1x1.gif");
      } else {
        m.AddMenuItem(displays[i], clicks[i], "/images/icons/item.gif");
      }
    }
    std::string out = m.EmbedPopupMenu();
    bytes = out.size();
    Consume(out);
  }
  state.SetComplexityN(rows);
  state.counters["rows"] = rows;
  state.counters["per_row"] = bm::Counter(rows, bm::Counter::kIsIterationInvariantRate | bm::Counter::kInvert);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(MenuOfRows)
    ->Name("scale/PopupMenu.rows+EmbedPopupMenu")
    ->Arg(10)
    ->Arg(30)
    ->Arg(100)
    ->Arg(300)
    ->Arg(1000)
    ->Arg(1820)
    ->Complexity(bm::oN);

// ---- ProgressBar --------------------------------------------------------------------

ProgressBar MakeBar() {
  ProgressBar b;
  b.Max(Variant(250));
  return b;
}

void RegisterProgressBar() {
  RegisterOutput(
      "ProgressBar.Show/visible", Size::Large, MakeBar,
      [](ProgressBar& b) { return b.Show(Variant(false), Variant(false)); }, 1, SIZE_MAX);
  RegisterOutput(
      "ProgressBar.Show/hiding", Size::Large, MakeBar,
      [](ProgressBar& b) { return b.Show(Variant(true), Variant(true)); }, 1, SIZE_MAX);
  RegisterOutput(
      "ProgressBar.SetValue", Size::Small, MakeBar, [](ProgressBar& b) { return b.SetValue(Variant(42)); }, 1,
      SIZE_MAX);
  RegisterOutput(
      "ProgressBar.HideOutput", Size::Small, MakeBar, [](ProgressBar& b) { return b.HideOutput(Variant(false)); }, 1,
      SIZE_MAX);
}

// ---- Tabs -------------------------------------------------------------------------------

Tabs MakeTabs() {
  Tabs t;
  t.TabCount(5);
  t.TabWidth(90);
  t.PanelWidth(600);
  t.PanelHeight(400);
  t.TabName("Quarterly report");
  return t;
}

void RegisterTabs() {
  const Variant content("reportFrame");
  const Variant url("/reports/quarterly.asp?year=2026&q=3");
  const std::string on_click = "selectTab(this.id.substring(5))";
  // WriteTab resets JavaScriptOnClick; a later call sets it again (into the
  // member's kept capacity).
  auto write = [content, url, on_click](Tabs& t) {
    t.JavaScriptOnClick(on_click);
    return t.WriteTab(content, url);
  };
  RegisterOutput(
      "Tabs.WriteTab/first", Size::Large,
      [on_click] {
        Tabs t = MakeTabs();
        t.JavaScriptOnClick(on_click);
        return t;
      },
      [content, url](Tabs& t) { return t.WriteTab(content, url); }, kFirstPool, kFirst);
  // The tab's left edge is TabWidth * index: 90 * 364 overflows 16 bits, so
  // an object takes 300 tabs.
  RegisterOutput(
      "Tabs.WriteTab/later", Size::Small,
      [write] {
        Tabs t = MakeTabs();
        write(t);
        return t;
      },
      write, 256, 300);
}

// ---- Tree ---------------------------------------------------------------------------------

Tree MakeTree() {
  Tree t;
  t.TextClass("treeText");
  return t;
}

Tree MakePrimedTree() {
  Tree t = MakeTree();
  t.Initialize();
  return t;
}

void RegisterTree() {
  auto expand = [](Tree& t) { return t.WriteExpandCollapse(); };
  static const std::string kMenu = "Documentation", kName = "Installation guide", kUri = "/docs/install.htm",
                           kTarget = "_top", kImage = "/images/icons/page.gif";
  auto header = [](Tree& t) { return t.WriteMenuHeader(kMenu); };
  auto footer = [](Tree& t) { return t.WriteMenuFooter(); };
  auto node = [](Tree& t) { return t.WriteNode(kName, kUri, kTarget); };
  auto node_image = [](Tree& t) { return t.WriteNode(kName, kUri, kTarget, kImage); };
  RegisterOutput(
      "Tree.Initialize", Size::Large, MakeTree, [](Tree& t) { return t.Initialize(); }, 1, SIZE_MAX);
  RegisterOutput("Tree.WriteExpandCollapse/first", Size::Large, MakeTree, expand, kFirstPool, kFirst);
  RegisterOutput("Tree.WriteExpandCollapse/later", Size::Small, MakePrimedTree, expand, 1, SIZE_MAX);
  RegisterOutput("Tree.WriteMenuHeader/first", Size::Large, MakeTree, header, kFirstPool, kFirst);
  RegisterOutput("Tree.WriteMenuHeader/later", Size::Small, MakePrimedTree, header, kLaterPool, kLaterUses);
  RegisterOutput("Tree.WriteMenuFooter/first", Size::Large, MakeTree, footer, kFirstPool, kFirst);
  RegisterOutput("Tree.WriteMenuFooter/later", Size::Small, MakePrimedTree, footer, 1, SIZE_MAX);
  RegisterOutput("Tree.WriteNode/first", Size::Large, MakeTree, node, kFirstPool, kFirst);
  RegisterOutput("Tree.WriteNode/later", Size::Small, MakePrimedTree, node, 1, SIZE_MAX);
  RegisterOutput("Tree.WriteNode/later-image", Size::Small, MakePrimedTree, node_image, 1, SIZE_MAX);
}

// ---- The tree page: 10,000 nodes in 1,000 menus -------------------------------------

constexpr int kMenus = 1000;
constexpr int kNodesPerMenu = 10;

struct TreePageArgs {
  std::vector<std::string> menus, names, uris;
  std::string target = "main";
  TreePageArgs() {
    for (int m = 0; m < kMenus; ++m) {
      menus.push_back("Chapter " + std::to_string(m + 1));
      for (int n = 0; n < kNodesPerMenu; ++n) {
        names.push_back("Section " + std::to_string(m + 1) + "." + std::to_string(n + 1));
        uris.push_back("/book/" + std::to_string(m + 1) + "/" + std::to_string(n + 1) + ".htm");
      }
    }
  }
};

const TreePageArgs& PageArgs() {
  static const TreePageArgs args;
  return args;
}

// Calls `piece` with every result of the page, in order.
template <class F>
void TreePage(Tree& t, F&& piece) {
  const TreePageArgs& a = PageArgs();
  piece(t.WriteExpandCollapse());
  for (int m = 0; m < kMenus; ++m) {
    piece(t.WriteMenuHeader(a.menus[m]));
    for (int n = 0; n < kNodesPerMenu; ++n) {
      const std::size_t i = static_cast<std::size_t>(m * kNodesPerMenu + n);
      piece(t.WriteNode(a.names[i], a.uris[i], a.target));
    }
    piece(t.WriteMenuFooter());
  }
}

struct TreePageRef {
  std::vector<std::string> pieces;
  std::vector<std::vector<std::string>> piece_lines;
  std::string page;
  std::size_t allocs = 0;
  TreePageRef() {
    PageArgs();  // made before counting
    Tree t = MakeTree();
    std::vector<std::string> out;
    out.reserve(kMenus * (kNodesPerMenu + 2) + 1);
    allocs = alloc_count::During([&] { TreePage(t, [&](std::string s) { out.push_back(std::move(s)); }); });
    pieces = std::move(out);
    for (const std::string& p : pieces) {
      piece_lines.push_back(Lines(p));
      page += p;
    }
  }
};

const TreePageRef& PageRef() {
  static const TreePageRef ref;
  return ref;
}

void SetPageCounters(bm::State& state, double large) {
  const TreePageRef& ref = PageRef();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ref.page.size()));
  state.counters["bytes"] = static_cast<double>(ref.page.size());
  state.counters["calls"] = static_cast<double>(ref.pieces.size());
  if (large > 0) state.counters["large"] = large;
}

void TreePageHalvane(bm::State& state) {
  const TreePageRef& ref = PageRef();
  for (auto _ : state) {
    std::string page;
    page.reserve(ref.page.size());
    Tree t = MakeTree();
    TreePage(t, [&](const std::string& s) { page += s; });
    Consume(page);
  }
  SetPageCounters(state, 1.0);
  // Allocations of the calls themselves: one per returned string, two for
  // the first (it carries the page script).
  state.counters["allocs"] = static_cast<double>(ref.allocs);
}

// The limit for a page of 12,002 results: each result copied into a freshly
// allocated string, and appended to the page as the library's results are.
void TreePageLimit(bm::State& state) {
  const TreePageRef& ref = PageRef();
  for (auto _ : state) {
    std::string page;
    page.reserve(ref.page.size());
    for (const std::string& p : ref.pieces) page += LimitCopy(p);
    Consume(page);
  }
  SetPageCounters(state, 0.0);
}

// The whole page in one memcpy, a floor no sequence of calls can reach.
void TreePageOneCopy(bm::State& state) {
  const TreePageRef& ref = PageRef();
  for (auto _ : state) {
    std::string page = LimitCopy(ref.page);
    Consume(page);
  }
  SetPageCounters(state, 0.0);
}

void TreePageNaive(bm::State& state) {
  const TreePageRef& ref = PageRef();
  for (auto _ : state) {
    std::string page;
    page.reserve(ref.page.size());
    for (const auto& lines : ref.piece_lines) page += NaiveBuild(lines);
    Consume(page);
  }
  SetPageCounters(state, 0.0);
}

BENCHMARK(TreePageHalvane)->Name("output/Tree.page-10000-nodes/halvane")->Unit(bm::kMicrosecond);
BENCHMARK(TreePageLimit)->Name("output/Tree.page-10000-nodes/limit")->Unit(bm::kMicrosecond);
BENCHMARK(TreePageNaive)->Name("output/Tree.page-10000-nodes/naive")->Unit(bm::kMicrosecond);
BENCHMARK(TreePageOneCopy)->Name("output/Tree.page-10000-nodes/one-copy")->Unit(bm::kMicrosecond);

[[maybe_unused]] const int kRegistered = [] {
  RegisterAutoComplete();
  RegisterCalendar();
  RegisterPopupMenu();
  RegisterAddCalls();
  RegisterProgressBar();
  RegisterTabs();
  RegisterTree();
  return 0;
}();

}  // namespace
}  // namespace halvane::bench
