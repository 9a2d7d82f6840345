// Page templates compiled into the program form of scripts: each text run
// becomes a write of that text, each <%= expression %> a Response.Write, and
// the code of the blocks is read as one script across the text between
// them.
#pragma once

#include <memory>
#include <string>

#include "host/script/program.h"
#include "host/web/template.h"

namespace halvane::script {

// Compiles an expanded template whose main file is shown as `name`.  Throws
// web::TemplateError for a syntax error, naming the file (main or included)
// and line where it stands.
std::shared_ptr<const Program> ParseTemplate(const web::ExpandedTemplate& tmpl, const std::string& name);

}  // namespace halvane::script
