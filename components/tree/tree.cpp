#include "components/tree/tree.h"

#include <string_view>

#include "components/tree/tree_text.h"
#include "core/error.h"
#include "core/text.h"
#include "core/variant.h"

namespace halvane {

namespace {

constexpr std::string_view kSource = "Halvane.Tree";

// Room for one output fragment beyond its spliced values.
constexpr std::size_t kFragmentRoom = 1024;

}  // namespace

Tree::Tree()
    : width_("1"),
      expanded_image_("/images/icons/FolderOpen.gif"),
      expand_all_image_("/images/icons/treeplus.gif"),
      collapsed_image_("/images/icons/FolderClosed.gif"),
      collapse_all_image_("/images/icons/treeminus.gif") {}

std::string Tree::Width() const { return width_; }
void Tree::Width(const std::string& newWidth) { width_ = newWidth; }
std::string Tree::TextClass() const { return text_class_; }
void Tree::TextClass(const std::string& NewTextClass) { text_class_ = NewTextClass; }
std::string Tree::ExpandedImage() const { return expanded_image_; }
void Tree::ExpandedImage(const std::string& NewExpandedImage) { expanded_image_ = NewExpandedImage; }
std::string Tree::ExpandAllImage() const { return expand_all_image_; }
void Tree::ExpandAllImage(const std::string& NewExpandAllImage) { expand_all_image_ = NewExpandAllImage; }
std::string Tree::CollapsedImage() const { return collapsed_image_; }
void Tree::CollapsedImage(const std::string& NewCollapsedImage) { collapsed_image_ = NewCollapsedImage; }
std::string Tree::CollapseAllImage() const { return collapse_all_image_; }
void Tree::CollapseAllImage(const std::string& NewCollapseAllImage) {
  collapse_all_image_ = NewCollapseAllImage;
}

// The flag is set before the script is built and never tested here: a page
// that calls Initialize itself gets the script on every call.
std::string Tree::Initialize() {
  script_emitted_ = true;
  std::string out;
  out.reserve(tree_text::kPageScript.view().size() + 6 * expanded_image_.size() +
              4 * collapsed_image_.size() + kFragmentRoom);
  tree_text::AppendFilled(out, tree_text::kPageScript,
                          {{"ExpandedImage", expanded_image_}, {"CollapsedImage", collapsed_image_}});
  return out;
}

// Every output starts with the page script while it has not been emitted.
std::string Tree::BeginOutput(std::size_t room) {
  std::string out = script_emitted_ ? std::string() : Initialize();
  out.reserve(out.size() + room + kFragmentRoom);
  return out;
}

std::string Tree::WriteExpandCollapse() {
  return WithSource(kSource, [&] {
    std::string out = BeginOutput(collapse_all_image_.size() + expand_all_image_.size());
    tree_text::AppendFilled(out, tree_text::kExpandCollapse,
                            {{"CollapseAllImage", collapse_all_image_},
                             {"ExpandAllImage", expand_all_image_}});
    return out;
  });
}

std::string Tree::WriteMenuHeader(const std::string& MenuName) {
  return WithSource(kSource, [&] {
    std::string out = BeginOutput(width_.size() + collapsed_image_.size() + text_class_.size() +
                                  MenuName.size());
    // At 32767 this raises the overflow error and the counter keeps its value.
    menu_count_ = AddInteger(menu_count_, 1);
    const std::string n = text::Decimal(menu_count_);
    tree_text::AppendFilled(out, tree_text::kMenuHeader,
                            {{"n", n},
                             {"Width", width_},
                             {"CollapsedImage", collapsed_image_},
                             {"TextClass", text_class_},
                             {"MenuName", MenuName}});
    return out;
  });
}

std::string Tree::WriteMenuFooter() {
  return WithSource(kSource, [&] {
    std::string out = BeginOutput(0);
    out.append(tree_text::kMenuFooter.view());
    return out;
  });
}

std::string Tree::WriteNode(const std::string& NodeName, const std::string& URI,
                            const std::string& Target, const std::string& ImagePath) {
  return WithSource(kSource, [&] {
    std::string out = BeginOutput(NodeName.size() + 2 * URI.size() + 2 * Target.size() +
                                  ImagePath.size() + text_class_.size());
    // A node belongs to the menu opened last: its id is one past the number
    // of headers written so far.  The counter itself does not change.
    const std::string node = text::Decimal(AddInteger(menu_count_, 1));
    const bool with_image = !ImagePath.empty();
    tree_text::AppendFilled(out, with_image ? tree_text::kNodeWithImage.view() : tree_text::kNode.view(),
                            {{"Target", Target},
                             {"URI", URI},
                             {"ImagePath", ImagePath},
                             {"node", node},
                             {"TextClass", text_class_},
                             {"NodeName", NodeName}});
    return out;
  });
}

}  // namespace halvane
