#include "host/run_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "core/dates.h"
#include "host/run_options.h"
#include "host/script/interpreter.h"
#include "host/script/template_parse.h"
#include "host/session/page_session.h"
#include "host/web/page_io.h"
#include "host/web/template.h"

namespace halvane::host {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the page stopped on an error, or the output could not be written
constexpr int kExitUsage = 2;   // a syntax error, or a command line that makes no sense
// How long a run may hold its session's lock before another may take it
// (a run killed while holding it blocks its session no longer than this).
constexpr std::chrono::seconds kRunLockTime{10};

constexpr const char* kRunHelp = R"(Usage: halvane run FILE [options]

Runs one page and writes the response body to standard output exactly as the
page wrote it.  FILE ending in .hvp (any letter case) is a page template,
anything else a page script; "-" reads a script from standard input.
Options may stand before or after FILE.

Options:
  --query TEXT          the query string (Request.QueryString)
  --form TEXT           an url-encoded request body (Request.Form); the
                        request is then a POST
  --cookie TEXT         a Cookie header (Request.Cookies)
  --header "Name: value"  a request header (repeatable)
  -i                    first the status line and the headers, then an empty
                        line, then the body
  --now DATE            Now, Date, Time and every component's "today" give
                        this instant (a text CDate reads) for the whole run
  --timeout S           stop the page after S seconds (exit status 1); no
                        limit without it
  --sessions STORE      where Session and Application values live: memory
                        (default), sqlite:PATH or
                        redis://[:PASSWORD@]HOST[:PORT][/DB]; with --cookie
                        "HALVANE_SESSION=<id>" a stored session continues
  --session-timeout MINUTES, --session-max-size BYTES, --max-sessions N
                        as for `halvane serve`

Exit status:
  0  the page ran to its end (or to Response.End or Response.Redirect)
  1  a runtime error stopped it: what was written so far stays written, and
     one line on standard error names file, line, status, number, source and
     description
  2  a syntax error (file, line and column on standard error; nothing ran),
     a folder or an unreadable file, a command line that makes no sense, or
     a session store that cannot be reached

Examples:
  halvane run examples/calendar.hvp > calendar.html
  halvane run examples/tabs.hvp --query "tab=Calendar"
  halvane run -i examples/calendar.hvp --form "due=3%2F9%2F2004"
  halvane run examples/calendar.hvp --now "3/9/2004 10:00:00"
  printf 'Response.Write Request.QueryString("q")\n' | halvane run - --query q=hi
)";

int Usage(const std::string& message) {
  std::fprintf(stderr, "halvane: run: %s\n\n%s", message.c_str(), kRunHelp);
  return kExitUsage;
}

// The response of a run on standard output: the head (with -i) when the
// page first flushes or ends, the body as it stands.
class StdoutSink final : public web::ResponseSink {
 public:
  explicit StdoutSink(bool show_head) : show_head_(show_head) {}

  void SendHead(const web::PageResponse& response) override {
    if (show_head_) Put(web::HeadBlock(response));
  }
  void SendBody(std::string_view bytes) override { Put(bytes); }
  void Flushed() override {
    if (std::fflush(stdout) != 0) Fail();
  }
  bool Failed() const { return failed_; }

 private:
  void Put(std::string_view bytes) {
    if (failed_) throw script::Cancelled();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) Fail();
  }
  [[noreturn]] void Fail() {
    failed_ = true;
    throw script::Cancelled();
  }

  bool show_head_;
  bool failed_ = false;
};

// Sends what the page left in the response.  False when standard output
// could not take it.
bool Finish(web::PageResponse& response, const StdoutSink& sink) {
  if (sink.Failed()) return false;
  try {
    response.Finish();
    if (std::fflush(stdout) != 0) return false;
  } catch (const script::Cancelled&) {
    return false;
  }
  return true;
}

// Everything `in` holds; false when reading failed.
bool ReadAll(std::FILE* in, std::string& out) {
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;) out.append(buf, n);
  return !std::ferror(in);
}

// The whole text of a page file ("-": standard input); false with `error`
// (one line) set when it is a folder or cannot be read.
bool ReadPage(const std::string& file, std::string& source, std::string& error) {
  if (file == "-") {
    if (ReadAll(stdin, source)) return true;
    error = std::string("halvane: cannot read standard input: ") + std::strerror(errno);
    return false;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) {
    error = "halvane: run: " + file + " is a folder, not a page";
    return false;
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
  if (!in || !ReadAll(in.get(), source)) {
    error = "halvane: cannot read " + file + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

// The line for a run that did not complete; a time limit is named.
std::string FailureLine(const script::Program& program, const script::Result& r, const RunOptions& o) {
  if (r.outcome == script::Outcome::Timeout && o.timeout) {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", static_cast<double>(o.timeout->count()) / 1000.0);
    return script::Where(program, r) + ": stopped: the script ran longer than the " + limit + " s limit";
  }
  return script::Describe(program, r);
}

}  // namespace

int RunCommand(const std::vector<std::string>& args) {
  const RunOptionsResult parsed = ParseRunOptions(args);
  if (parsed.options.help) {
    std::fputs(kRunHelp, stdout);
    return kExitOk;
  }
  if (!parsed.error.empty()) return Usage(parsed.error);
  const RunOptions& o = parsed.options;

  std::string source;
  const std::string name = o.file == "-" ? "<stdin>" : o.file;
  if (std::string why; !ReadPage(o.file, source, why)) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return kExitUsage;
  }

  std::shared_ptr<const script::Program> program;
  try {
    if (o.file != "-" && web::IsTemplateName(o.file)) {
      // Under run the served folder is the page's own folder.
      web::TemplateOptions t;
      t.root = std::filesystem::absolute(std::filesystem::path(o.file)).parent_path();
      program = script::ParseTemplate(web::ExpandTemplate(source, name, o.file, t), name);
    } else {
      program = script::Parse(source, name);
    }
  } catch (const web::TemplateError& e) {
    std::fprintf(stderr, "%s:%d:%d: syntax error: %s\n", e.File().c_str(), e.Line(), e.Column(), e.Message().c_str());
    return kExitUsage;
  } catch (const script::SyntaxError& e) {
    std::fprintf(stderr, "%s\n", script::Describe(name, e).c_str());
    return kExitUsage;
  }

  if (o.now) FixNow(*o.now);

  // The session store must answer before the page runs.  A lock this run
  // leaves behind (it is killed) expires after its time limit, or 10 s.
  session::Settings settings;
  for (const auto& [option, value] : o.session_options) {
    if (std::string error = session::ApplyOption(option, value, settings); !error.empty()) return Usage(error);
  }
  std::optional<session::Hub> hub;
  {
    try {
      hub.emplace(settings, o.timeout ? *o.timeout : std::chrono::milliseconds(kRunLockTime));
    } catch (const session::StoreError& e) {
      std::fprintf(stderr, "halvane: the session store cannot be reached: %s\n", e.what());
      return kExitUsage;
    }
  }

  const web::PageRequest request(RunRequest(o));
  StdoutSink sink(o.show_head);
  web::PageResponse response(sink);
  script::Limits limits;
  if (o.timeout) limits.deadline = std::chrono::steady_clock::now() + *o.timeout;
  script::Result r;
  try {
    std::optional<session::PageSession> state;
    if (hub) state.emplace(*hub, request, response);
    r = script::RunPage(*program, request, response, limits, state ? &*state : nullptr);
    if (state) session::EndRun(*state, r, false);
  } catch (const std::exception& e) {  // out of memory
    Finish(response, sink);
    std::fprintf(stderr, "%s: stopped: %s\n", name.c_str(), e.what());
    return kExitFailed;
  }
  const bool sent = Finish(response, sink);
  if (program->uses_state) {
    try {
      hub->store().Purge();  // lapsed sessions go, now that no page waits
    } catch (const session::StoreError& e) {
      hub->Log(std::string("purging lapsed sessions failed: ") + e.what());
    }
  }
  if (!sent) {
    std::fprintf(stderr, "halvane: cannot write to standard output\n");
    return kExitFailed;
  }
  if (r.outcome != script::Outcome::Completed) {
    std::fprintf(stderr, "%s\n", FailureLine(*program, r, o).c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace halvane::host
