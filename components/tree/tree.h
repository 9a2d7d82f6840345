// Tree: a collapsible tree of menus and link nodes with expand-all and
// collapse-all controls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace halvane {

class Tree {
 public:
  Tree();

  std::string Width() const;
  void Width(const std::string& newWidth);
  std::string TextClass() const;
  void TextClass(const std::string& NewTextClass);
  std::string ExpandedImage() const;
  void ExpandedImage(const std::string& NewExpandedImage);
  std::string ExpandAllImage() const;
  void ExpandAllImage(const std::string& NewExpandAllImage);
  std::string CollapsedImage() const;
  void CollapsedImage(const std::string& NewCollapsedImage);
  std::string CollapseAllImage() const;
  void CollapseAllImage(const std::string& NewCollapseAllImage);

  std::string WriteExpandCollapse();
  // The page script; returned by every call, and marks it emitted.
  std::string Initialize();
  std::string WriteMenuHeader(const std::string& MenuName);
  std::string WriteMenuFooter();
  // An omitted ImagePath is the empty string.
  std::string WriteNode(const std::string& NodeName, const std::string& URI, const std::string& Target,
                        const std::string& ImagePath = std::string());

 private:
  std::string width_;
  std::string text_class_;
  std::string expanded_image_;
  std::string expand_all_image_;
  std::string collapsed_image_;
  std::string collapse_all_image_;
  bool script_emitted_ = false;
  std::int16_t menu_count_ = 0;
};

}  // namespace halvane
