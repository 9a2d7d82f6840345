// One page's Session and Application (script::PageState) on a hub's store.
//
// The session starts at the page's first use of Session: the cookie
// HALVANE_SESSION names it when the store holds it; otherwise a new one
// starts under a new identifier and the response gets its cookie.  From
// then until the page ends the page holds the session's lock, so that the
// requests of one session run one at a time across every process of the
// store; the values live here meanwhile and are written back by Finish.
// Application values are read from and written to the store at once, each
// write under the application's lock (the page's own, after
// Application.Lock).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "host/script/interpreter.h"
#include "host/script/page_state.h"
#include "host/session/hub.h"
#include "host/session/record.h"
#include "host/web/page_io.h"

namespace halvane::session {

inline constexpr std::string_view kCookieName = "HALVANE_SESSION";

class PageSession final : public script::PageState {
 public:
  PageSession(Hub& hub, const web::PageRequest& request, web::PageResponse& response);
  // Releases what the page still holds, writing nothing.
  ~PageSession() override;
  PageSession(const PageSession&) = delete;
  PageSession& operator=(const PageSession&) = delete;

  // Set for a run that may be stopped and run again from its start (serve's
  // first run on an event-loop thread): called to stop such a run instead
  // of waiting for a session's lock (`for_good` false: this once) or of
  // touching the shared Application values (true: every run of the page
  // would).
  std::function<void(bool for_good)> give_up;

  // The end of the page: with `write`, the session's values go to the store
  // (or, after Abandon, leave it); then every lock is released.  False when
  // the store failed to take them (a log line says why).
  bool Finish(bool write);

  script::Value Get(script::StateScope scope, std::string_view name) override;
  void Set(script::StateScope scope, std::string_view name, const script::Value& v) override;
  void Remove(script::StateScope scope, std::string_view name) override;
  void RemoveAll(script::StateScope scope) override;
  std::int32_t Count(script::StateScope scope) override;
  std::vector<std::string> Keys(script::StateScope scope) override;
  std::string SessionID() override;
  std::int32_t Timeout() override;
  void SetTimeout(std::int32_t minutes) override;
  void Abandon() override;
  void Lock() override;
  void Unlock() override;

 private:
  // The session's values, starting the session at the first call.
  Record& Session();
  // The application's values as the store holds them now.
  Record ReadApplication();
  // Runs `change` on the application's values and writes them back, under
  // the application's lock.
  template <class F>
  void ChangeApplication(F change);
  void TakeLock(const std::string& lock, const std::string* key = nullptr, std::optional<std::string>* record = nullptr);
  const std::string& Owner();
  std::optional<Record> Load(const std::string& key);
  [[noreturn]] void Failed(const StoreError& e);

  Hub& hub_;
  const web::PageRequest& request_;
  web::PageResponse& response_;
  std::string owner_;  // this page's name on the locks it takes

  bool started_ = false;
  bool abandoned_ = false;
  std::string id_;
  std::string lock_;  // the session's lock, while held
  Record values_;
  std::size_t size_ = 0;  // RecordSize(values_)

  bool app_locked_ = false;  // Application.Lock is in force
};

}  // namespace halvane::session

namespace halvane::session {

// The end of a run of a page for its session: the values are written unless
// the client went away (the run was cancelled) or, with `may_run_again`,
// the run timed out and will run again from its start.  A write that fails
// makes a completed run error 57.
void EndRun(PageSession& session, script::Result& result, bool may_run_again);

}  // namespace halvane::session
