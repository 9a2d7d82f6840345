// Names of a page: interning while reading, and the resolution of every name
// to a page variable, a procedure local or a procedure once the whole page
// has been read (procedures may be called before their declaration, and a
// procedure's names depend on what the main code assigns).
#include <algorithm>

#include "host/script/functions.h"
#include "host/script/parser.h"

namespace halvane::script {

int Parser::Intern(const Token& t) {
  auto [it, added] = name_ids_.try_emplace(t.lower, static_cast<int>(prog_.names.size()));
  if (added) {
    prog_.names.push_back(t.text);
    prog_.lower.push_back(t.lower);
    page_declared_.push_back(0);
    page_assigned_.push_back(0);
  }
  return it->second;
}

// Reserved words never reach here (they are keywords); built-in function
// names are reserved too.
void Parser::CheckName(const Token& t, const char* what) {
  if (t.kind != Tok::Identifier) {
    Fail(t.pos, std::string("expected ") + what + ", found " + Describe(t));
  }
  if (functions::Find(t.lower) != nullptr) {
    Fail(t.pos, std::string("expected ") + what + ", found the built-in function '" + t.text + "'");
  }
}

void Parser::Resolve() {
  for (const auto& [name, pos] : variable_uses_) {
    if (proc_index_.count(name)) {
      Fail(pos, "'" + prog_.names[static_cast<std::size_t>(name)] + "' is a procedure and cannot be a variable");
    }
  }
  std::vector<int> page_slot(prog_.names.size(), -1);
  auto page = [&](int name) {
    int& slot = page_slot[static_cast<std::size_t>(name)];
    if (slot < 0) {
      slot = static_cast<int>(prog_.variables.size());
      prog_.variables.push_back(prog_.names[static_cast<std::size_t>(name)]);
    }
    return slot;
  };
  auto is_set = [](const std::vector<char>& v, int name) {
    return static_cast<std::size_t>(name) < v.size() && v[static_cast<std::size_t>(name)];
  };
  for (NameExpr* n : main_names_) {
    auto proc = proc_index_.find(n->name);
    if (proc != proc_index_.end()) {
      n->scope = NameExpr::Scope::Procedure;
      n->slot = proc->second;
      n->declared = true;
      continue;
    }
    n->slot = page(n->name);
    n->declared = is_set(page_declared_, n->name);
    bool known = n->declared || is_set(page_assigned_, n->name);
    n->scope = n->called && !known ? NameExpr::Scope::Unknown : NameExpr::Scope::Page;
  }
  for (std::size_t i = 0; i < prog_.procedures.size(); ++i) {
    Procedure& p = prog_.procedures[i];
    const std::vector<char>& assigned = procs_assigned_[i];
    std::vector<int> local_slot(prog_.names.size(), -1);
    int next = 1;
    for (int param : p.params) local_slot[static_cast<std::size_t>(param)] = next++;
    for (int d : p.dims) {
      if (proc_index_.count(d)) continue;
      int& s = local_slot[static_cast<std::size_t>(d)];
      if (s < 0) s = next++;
    }
    // A loop variable declares its name in the procedure: a local, unless
    // the main code makes that name a page variable.
    std::vector<char> loop_declared(prog_.names.size(), 0);
    for (int v : p.loop_vars) {
      loop_declared[static_cast<std::size_t>(v)] = 1;
      if (proc_index_.count(v) || is_set(page_assigned_, v)) continue;
      int& s = local_slot[static_cast<std::size_t>(v)];
      if (s < 0) s = next++;
    }
    std::size_t declared_locals = static_cast<std::size_t>(next);
    for (NameExpr* n : p.names) {
      std::size_t id = static_cast<std::size_t>(n->name);
      if (n->name == p.name_id && p.function && !n->called) {
        n->scope = NameExpr::Scope::Local;
        n->slot = 0;
        n->declared = true;
        continue;
      }
      int& ls = local_slot[id];
      if (ls >= 0) {
        n->scope = NameExpr::Scope::Local;
        n->slot = ls;
        n->declared = static_cast<std::size_t>(ls) < declared_locals;
        continue;
      }
      auto proc = proc_index_.find(n->name);
      if (proc != proc_index_.end()) {
        n->scope = NameExpr::Scope::Procedure;
        n->slot = proc->second;
        n->declared = true;
        continue;
      }
      if (is_set(page_assigned_, n->name)) {
        n->scope = NameExpr::Scope::Page;
        n->slot = page(n->name);
        n->declared = is_set(page_declared_, n->name) || loop_declared[id];
        continue;
      }
      if (n->called && !is_set(assigned, n->name)) {
        n->scope = NameExpr::Scope::Unknown;
        continue;
      }
      ls = next++;
      n->scope = NameExpr::Scope::Local;
      n->slot = ls;
      n->declared = false;
    }
    p.locals = next;
    p.names.clear();
    p.names.shrink_to_fit();
  }
  prog_.page_variables = static_cast<int>(prog_.variables.size());
}

}  // namespace halvane::script
