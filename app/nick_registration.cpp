#include "app/nick_registration.h"

#include "app/app_settings.h"
#include "app/language.h"
#include "core/global_functions.h"
#include "peer/napster/napster_helpers.h"
#include "platform/text.h"

namespace {

constexpr const char* kSection = "NickRegistration";

std::string RefusedBecause(const std::string& why) {
  return LangText(kSection, "00907", "The server refused the registration:") + " " + why;
}

}  // namespace

TNickRegistration::TNickRegistration(TNapsterClient& client) : client_(client) {
  client_.OnRegister = [this](TNapsterClient* c, TNapsterID id) {
    if (Ours(id)) End(c, id, Registered, LangText(kSection, "00900", "The nick is registered."));
  };
  // The session closes itself after a refusal, telling why first.
  client_.OnRegisterError = [this](TNapsterClient*, TNapsterID id, TRegisterErrorType e) {
    if (state_ != Busy || !Ours(id)) return;
    awaitingReason_ = true;
    if (e == retNickRegistered)
      Set(Taken, LangText(kSection, "00901", "This nick is registered already: choose another one."));
    else
      Set(Refused, LangText(kSection, "00902", "The server refused this nick."));
  };
  // The server's own words: after a refused account, or as the answer to
  // the nick check itself.
  client_.OnLoginError = [this](TNapsterClient* c, TNapsterID id, TNapsterText reason) {
    const std::string why = plat::Trim(reason);
    if (state_ == Busy && Ours(id)) {
      End(c, id, Refused, why.empty() ? LangText(kSection, "00902", "The server refused this nick.") : RefusedBecause(why));
    } else if (awaitingReason_ && plat::SameText(id, id_) && !why.empty()) {
      awaitingReason_ = false;
      Set(state_, RefusedBecause(why));
    }
  };
  client_.OnWinsockError = [this](TNapsterClient* c, TNapsterID id, int, TNapsterText text) {
    if (Ours(id)) End(c, id, Unreachable, LangText(kSection, "00903", "The server cannot be reached:") + " " + text);
  };
  client_.OnFinish = [this](TNapsterClient*, TNapsterID id) {
    if (state_ == Busy && Ours(id))
      Set(NoAnswer, LangText(kSection, "00904", "The server closed the connection without an answer."));
  };
}

TNickRegistration::~TNickRegistration() {
  client_.OnRegister = nullptr;
  client_.OnRegisterError = nullptr;
  client_.OnLoginError = nullptr;
  client_.OnWinsockError = nullptr;
  client_.OnFinish = nullptr;
  client_.Shutdown();
}

bool TNickRegistration::Start(const std::string& host, const std::string& port, const std::string& nick,
                              const std::string& password, const std::string& email, bool redirect) {
  if (state_ == Busy) return false;
  // The account is there to be kept with the servers to log in to.
  const std::string unstorable = UnstorableEntry({{LangText(kSection, "00908", "Server"), host},
                                                  {LangText(kSection, "00909", "Nick"), nick},
                                                  {LangText(kSection, "00910", "Password"), password},
                                                  {LangText(kSection, "00911", "E-mail"), email}});
  if (!unstorable.empty()) {
    Set(Invalid, unstorable);
    return false;
  }
  const std::string h = plat::Trim(host), n = plat::Trim(nick);
  const int64_t p = EasyStrToInt64(port);
  if (h.empty() || p <= 0 || p > 65535 || !UsableNick(n)) {
    Set(Invalid, LangText(kSection, "00905", "Give a server, a port from 1 to 65535 and a nick without blanks."));
    return false;
  }
  awaitingReason_ = false;
  account_ = {h, int(p), n, password, redirect};
  Set(Busy, LangText(kSection, "00906", "Registering") + " " + n + " @ " + h + ":" + std::to_string(p) + " ...");
  std::string id;
  id_.clear();
  client_.StartSession(h, int(p), n, password, email, true, redirect, id);
  // A connection that fails at once has ended (and been reported) already.
  id_ = id;
  return true;
}

// While a session starts its ID is not known yet: what it reports then is
// this registration's.
bool TNickRegistration::Ours(const std::string& id) const { return id_.empty() || plat::SameText(id, id_); }

void TNickRegistration::Set(TState s, const std::string& text) {
  state_ = s;
  status_ = text;
  if (OnChanged) OnChanged();
}

void TNickRegistration::End(TNapsterClient* c, TNapsterID id, TState s, const std::string& text) {
  if (state_ != Busy) return;
  Set(s, text);
  c->Disconnect(id);
}
