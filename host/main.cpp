// halvane: runs and serves page scripts, and describes the library's classes.
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "host/gallery_dir.h"
#include "host/run_command.h"
#include "host/serve_options.h"
#include "host/script/interpreter.h"
#include "host/serve/server.h"
#include "host/session/hub.h"
#include "server/class_table.h"
#include "server/com_internal.h"
#include "server/halvane_com.h"

namespace {

using namespace halvane;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // a runtime error, or a command that could not do its work
constexpr int kExitUsage = 2;   // a syntax error, or a command line that makes no sense

constexpr const char* kMainHelp = R"(halvane - run and serve Halvane pages

Usage:
  halvane run FILE [options]              run a page (a *.hvp template or a *.hvs
                                          script, - for standard input), response
                                          to standard output
  halvane serve [DIR] [options]           serve a folder of pages over HTTP
  halvane classes                         list the component classes
  halvane describe PROGID|CLSID           list the members of one class
  halvane --version                       print the version
  halvane COMMAND --help                  help for one command

Examples:
  halvane run examples/tree.hvp > tree.html
  halvane run examples/calendar.hvp --form "due=3%2F9%2F2004" -i
  echo 'Response.Write "Hello"' | halvane run -
  halvane serve examples --port 8080
  halvane describe Halvane.Calendar
)";

constexpr const char* kServeHelp = R"(Usage: halvane serve [DIR] [options]

Serves the folder DIR (default: the bundled examples) over HTTP.  GET, HEAD
and POST of a *.hvp template or a *.hvs script run that page for the request
(HEAD runs the page and sends no body) and answer with the status code
(with the standard reason phrase of that code), content type (default
text/html), headers and cookies the page set; "/" runs
index.hvp, else index.hvs.  The page reads the query string, url-encoded
and multipart form bodies, cookies and request headers.  Other files are sent as they are
(GET and HEAD).  Response.Flush sends what was
written so far at once (chunked for HTTP/1.1, until the close for HTTP/1.0);
Sleep gives the page's worker to other pages meanwhile.  A script error
answers 500 naming the error (or, once output has been streamed, appends the
error to it).  Nothing outside DIR, no hidden name and no include file
(*.inc, the source of templates) is served.  One
access-log line per request goes to standard error.  Ctrl-C or SIGTERM stops
accepting, lets running pages finish for the grace period, then stops.
A request for a component's default image (Calendar.gif in any folder,
/images/icons/FolderOpen.gif, FolderClosed.gif, treeplus.gif, treeminus.gif)
that DIR has no file for is answered with our own copy; DIR's file wins.

Options:
  --host ADDR              address to listen on (default 127.0.0.1)
  --port N                 port (default 8080; 0 picks a free one)
  --timeout SECONDS        longest run of one page (default 10)
  --workers N              pages running at once (default 2 per core)
  --io-threads N           threads for the connections' event loops (default: one per core)
  --max-pages N            pages in flight: running, sleeping or waiting for a
                           worker (default 256); beyond it the answer is 503
  --max-connections N      open connections (default 1024)
  --max-body BYTES         largest request body (default 1048576); beyond: 413
  --max-header BYTES       largest request line and headers (default 16384)
  --idle-timeout SECONDS   close a connection silent this long (default 10)
  --request-timeout SECONDS  a request must arrive whole within this (default 30)
  --grace SECONDS          on stop, how long running pages may go on (default 5)
  --no-compat              send pages exactly as the scripts write them, without
                           the browser-compatibility prefix
  --no-a11y                leave out the accessibility layer (keyboard and screen
                           reader support) that follows the compatibility prefix
  --secure-cookies         the session cookie carries "Secure" (sites behind HTTPS)
)";

constexpr const char* kServeExamples = R"(
Exit status:
  0  stopped by Ctrl-C, SIGTERM or SIGHUP
  1  the server could not start (the port is taken, for instance) or failed
  2  a usage error: an unknown option, a bad value, a DIR that is not a folder;
     or a session store that cannot be reached

Examples:
  halvane serve
  halvane serve examples --port 8000
  halvane serve site --host 0.0.0.0 --timeout 30 --workers 8
)";

constexpr const char* kClassesHelp = R"(Usage: halvane classes

Lists the six component classes: class name, programmatic identifier, class
identifier and default interface.

Example:
  halvane classes
)";

constexpr const char* kDescribeHelp = R"(Usage: halvane describe PROGID|CLSID

Lists the members of one class from its type information: DISPID, kind, name,
parameters with their types (optional ones in brackets) and result.
Identifiers are matched without regard to case.

Examples:
  halvane describe Halvane.Tree
  halvane describe {69F2EBBF-D021-46B1-A87C-55D8A8A17FC8}
)";

bool IsHelp(std::string_view a) { return a == "--help" || a == "-h" || a == "help"; }

int Usage(const std::string& message, const char* help) {
  std::fprintf(stderr, "halvane: %s\n\n%s", message.c_str(), help);
  return kExitUsage;
}

// ---- serve --------------------------------------------------------------------

std::string ServeHelp() { return std::string(kServeHelp) + session::kOptionsHelp + kServeExamples; }

int ServeUsage(const std::string& message) {
  std::fprintf(stderr, "halvane: %s\n\n", message.c_str());
  std::fputs(ServeHelp().c_str(), stderr);
  return kExitUsage;
}

int CmdServe(const std::vector<std::string>& args) {
  host::ServeOptionsResult parsed = host::ParseServeOptions(args);
  if (parsed.help) {
    std::fputs(ServeHelp().c_str(), stdout);
    std::printf("\nThe bundled examples: %s\n", host::DefaultGalleryDir().c_str());
    std::printf("Our copies of the default images: %s\n", host::DefaultImagesDir().c_str());
    return kExitOk;
  }
  if (!parsed.error.empty()) return ServeUsage("serve: " + parsed.error);
  serve::Options& o = parsed.options;
  const session::Settings& sessions = parsed.sessions;
  o.root = parsed.dir ? std::filesystem::path(*parsed.dir) : host::DefaultGalleryDir();

  std::error_code ec;
  if (!std::filesystem::is_directory(o.root, ec)) {
    std::fprintf(stderr, "halvane: serve: not a folder: %s\n", o.root.c_str());
    return kExitUsage;
  }
  o.default_images = host::DefaultImagesDir();

  // Ctrl-C, SIGTERM and SIGHUP (the terminal went away) are taken by one
  // thread that stops the server gracefully; every other thread has them
  // blocked.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  // Answers of some 100 KB are built and dropped thousands of times a second
  // on several threads.  By default the allocator gives each one fresh
  // pages (mapped for it above 128 KiB, or handed back to the system when
  // freed at the top of a thread's heap), and the page faults of touching
  // them again cost more than making the page: keep up to 8 MiB free per
  // heap, and map only blocks above 4 MiB.
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 8 << 20);

  // Every connection is a file descriptor: allow as many as the system lets
  // this process have.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }

  // The session store must answer before the first request.
  std::optional<session::Hub> hub;
  try {
    hub.emplace(sessions, o.timeout);
  } catch (const session::StoreError& e) {
    std::fprintf(stderr, "halvane: serve: the session store cannot be reached: %s\n", e.what());
    return kExitUsage;
  }
  hub->StartPurging(std::chrono::seconds(30));
  o.sessions = &*hub;

  std::optional<serve::Server> server;
  int port = 0;
  try {
    server.emplace(o);
    port = server->Bind();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "halvane: serve: %s\n", e.what());
    return kExitFailed;
  }
  std::string host = o.host.find(':') != std::string::npos ? "[" + o.host + "]" : o.host;
  std::fprintf(stderr, "halvane: serving %s at http://%s:%d/ (Ctrl-C stops)\n", o.root.c_str(), host.c_str(), port);

  std::thread waiter([&] {
    int sig = 0;
    sigwait(&stop_signals, &sig);
    if (sig == SIGINT || sig == SIGTERM || sig == SIGHUP) server->Stop();
  });
  int status = kExitOk;
  try {
    server->Serve();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "halvane: serve: %s\n", e.what());
    status = kExitFailed;
  }
  // Wake the waiter if the server ended by itself.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  server.reset();
  std::fprintf(stderr, "halvane: stopped\n");
  return status;
}

// ---- classes and describe ---------------------------------------------------

int CmdClasses(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (IsHelp(a)) {
      std::fputs(kClassesHelp, stdout);
      return kExitOk;
    }
    return Usage("classes: takes no arguments", kClassesHelp);
  }
  std::printf("%-14s %-22s %-40s %s\n", "class", "programmatic id", "CLSID", "interface");
  for (const ClassInfo& c : Classes()) {
    std::string clsid(1, '{');
    clsid.append(c.clsid).push_back('}');
    std::printf("%-14.*s %-22.*s %-40s %.*s\n", static_cast<int>(c.name.size()), c.name.data(),
                static_cast<int>(c.prog_id.size()), c.prog_id.data(), clsid.c_str(),
                static_cast<int>(c.interface_name.size()), c.interface_name.data());
  }
  return kExitOk;
}

// What `describe` prints comes from the type information the library hands
// to any automation host: the ITypeInfo of the class's dual interface.
std::string DescribeText(BSTR s) {
  std::size_t len = 0;
  char* utf8 = HalvaneSysStringToUtf8(s, &len);
  std::string out(utf8 == nullptr ? "" : utf8, utf8 == nullptr ? 0 : len);
  HalvaneFreeUtf8(utf8);
  SysFreeString(s);
  return out;
}

std::string DescribeGuid(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08" PRIX32 "-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

std::string_view DescribeType(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR: return "String";
    case VT_I2: return "Integer";
    case VT_BOOL: return "Boolean";
    case VT_VARIANT: return "Variant";
    default: return "?";
  }
}

// One member line: DISPID, kind, the signature in the page language's form.
std::string DescribeMember(ITypeInfo* ti, const FUNCDESC& f) {
  BSTR names[halvane::kMaxParams + 1] = {};
  UINT count = 0;
  ti->lpVtbl->GetNames(ti, f.memid, names, halvane::kMaxParams + 1, &count);
  std::vector<std::string> text;
  for (UINT i = 0; i < count; ++i) text.push_back(DescribeText(names[i]));
  const char* kind = f.invkind == INVOKE_FUNC          ? "method"
                     : f.invkind == INVOKE_PROPERTYGET ? "property get"
                                                       : "property let";
  std::string line(text.empty() ? "?" : text[0]);
  if (f.cParams > 0 || f.invkind == INVOKE_FUNC) {
    line += "(";
    for (SHORT i = 0; i < f.cParams; ++i) {
      const ELEMDESC& e = f.lprgelemdescParam[i];
      const bool optional = (e.paramdesc.wParamFlags & PARAMFLAG_FOPT) != 0;
      const VARTYPE vt = e.tdesc.vt == VT_PTR && e.tdesc.lptdesc != nullptr ? e.tdesc.lptdesc->vt : e.tdesc.vt;
      if (i) line += ", ";
      if (optional) line += "[";
      line += static_cast<std::size_t>(i) + 1 < text.size() ? text[static_cast<std::size_t>(i) + 1] : "?";
      line += " As ";
      line += DescribeType(vt);
      if (optional) line += "]";
    }
    line += ")";
  }
  if (f.elemdescFunc.tdesc.vt != VT_VOID) {
    line += " As ";
    line += DescribeType(f.elemdescFunc.tdesc.vt);
  }
  char head[64];
  std::snprintf(head, sizeof head, "  0x%08" PRIX32 "  %-12s  ", static_cast<std::uint32_t>(f.memid), kind);
  return head + line;
}

int CmdDescribe(const std::vector<std::string>& args) {
  std::optional<std::string> id;
  for (const std::string& a : args) {
    if (IsHelp(a)) {
      std::fputs(kDescribeHelp, stdout);
      return kExitOk;
    }
    if (id) return Usage("describe: one class at a time", kDescribeHelp);
    id = a;
  }
  if (!id) return Usage("describe: which class? (for example Halvane.Tree)", kDescribeHelp);
  const ClassInfo* c = FindClass(*id);
  GUID clsid{};
  if (!c || !halvane::com::ParseGuid(c->clsid, clsid)) {
    std::fprintf(stderr, "halvane: describe: no class %s; `halvane classes` lists them\n", id->c_str());
    return kExitFailed;
  }
  // An object of the class, its interface's type information, and the
  // class's own beside it in the type library.
  IClassFactory* factory = nullptr;
  IDispatch* object = nullptr;
  ITypeInfo* ti = nullptr;
  ITypeLib* lib = nullptr;
  ITypeInfo* co = nullptr;
  TYPEATTR* attr = nullptr;
  TYPEATTR* co_attr = nullptr;
  bool ok =
      DllGetClassObject(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK &&
      factory->lpVtbl->CreateInstance(factory, nullptr, &IID_IDispatch, reinterpret_cast<void**>(&object)) == S_OK &&
      object->lpVtbl->GetTypeInfo(object, 0, 0, &ti) == S_OK && ti->lpVtbl->GetTypeAttr(ti, &attr) == S_OK &&
      ti->lpVtbl->GetContainingTypeLib(ti, &lib, nullptr) == S_OK &&
      lib->lpVtbl->GetTypeInfoOfGuid(lib, &clsid, &co) == S_OK && co->lpVtbl->GetTypeAttr(co, &co_attr) == S_OK;
  if (ok) {
    BSTR class_name = nullptr, interface_name = nullptr;
    co->lpVtbl->GetDocumentation(co, MEMBERID_NIL, &class_name, nullptr, nullptr, nullptr);
    ti->lpVtbl->GetDocumentation(ti, MEMBERID_NIL, &interface_name, nullptr, nullptr, nullptr);
    std::printf("%.*s (class %s)\n", static_cast<int>(c->prog_id.size()), c->prog_id.data(),
                DescribeText(class_name).c_str());
    std::printf("  CLSID      {%s}\n", DescribeGuid(co_attr->guid).c_str());
    std::printf("  interface  %s {%s}\n\n", DescribeText(interface_name).c_str(), DescribeGuid(attr->guid).c_str());
    std::printf("  %-10s  %-12s  %s\n", "DISPID", "kind", "member");
    for (UINT i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* f = nullptr;
      if (ti->lpVtbl->GetFuncDesc(ti, i, &f) != S_OK) continue;
      std::printf("%s\n", DescribeMember(ti, *f).c_str());
      ti->lpVtbl->ReleaseFuncDesc(ti, f);
    }
  }
  if (co_attr) co->lpVtbl->ReleaseTypeAttr(co, co_attr);
  if (attr) ti->lpVtbl->ReleaseTypeAttr(ti, attr);
  if (co) co->lpVtbl->Release(co);
  if (lib) lib->lpVtbl->Release(lib);
  if (ti) ti->lpVtbl->Release(ti);
  if (object) object->lpVtbl->Release(object);
  if (factory) factory->lpVtbl->Release(factory);
  if (!ok) {
    std::fprintf(stderr, "halvane: describe: no type information for %s\n", id->c_str());
    return kExitFailed;
  }
  return kExitOk;
}

int CmdVersion() {
  const LibraryInfo& lib = Library();
  std::printf("halvane %s\n%.*s library %.*s (type library %u.%u)\n", HALVANE_VERSION,
              static_cast<int>(lib.name.size()), lib.name.data(), static_cast<int>(lib.file_version_text.size()),
              lib.file_version_text.data(), lib.version_major, lib.version_minor);
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(kMainHelp, stderr);
    return kExitUsage;
  }
  std::string cmd = args.front();
  args.erase(args.begin());
  if (IsHelp(cmd)) {
    std::fputs(kMainHelp, stdout);
    return kExitOk;
  }
  if (cmd == "--version" || cmd == "version") return CmdVersion();
  if (cmd == "run") return host::RunCommand(args);
  if (cmd == "serve") return CmdServe(args);
  if (cmd == "classes") return CmdClasses(args);
  if (cmd == "describe") return CmdDescribe(args);
  return Usage("unknown command " + cmd, kMainHelp);
}
