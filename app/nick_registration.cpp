#include "app/nick_registration.h"

#include "app/language.h"
#include "core/global_functions.h"
#include "peer/napster_helpers.h"
#include "platform/text.h"

namespace {

constexpr const char* kSection = "NickRegistration";

}  // namespace

TNickRegistration::TNickRegistration(TNapsterClient& client) : client_(client) {
  client_.OnRegister = [this](TNapsterClient* c, TNapsterID id) {
    End(c, id, Registered, LangText(kSection, "00900", "The nick is registered."));
  };
  client_.OnRegisterError = [this](TNapsterClient* c, TNapsterID id, TRegisterErrorType e) {
    if (e == retNickRegistered)
      End(c, id, Taken, LangText(kSection, "00901", "This nick is registered already: choose another one."));
    else
      End(c, id, Refused, LangText(kSection, "00902", "The server refused this nick."));
  };
  client_.OnWinsockError = [this](TNapsterClient* c, TNapsterID id, int, TNapsterText text) {
    End(c, id, Unreachable, LangText(kSection, "00903", "The server cannot be reached:") + " " + text);
  };
  client_.OnFinish = [this](TNapsterClient*, TNapsterID id) {
    if (state_ == Busy && (id_.empty() || plat::SameText(id, id_)))
      Set(NoAnswer, LangText(kSection, "00904", "The server closed the connection without an answer."));
  };
}

TNickRegistration::~TNickRegistration() {
  client_.OnRegister = nullptr;
  client_.OnRegisterError = nullptr;
  client_.OnWinsockError = nullptr;
  client_.OnFinish = nullptr;
  client_.Shutdown();
}

bool TNickRegistration::Start(const std::string& host, const std::string& port, const std::string& nick,
                              const std::string& password, const std::string& email) {
  if (state_ == Busy) return false;
  const std::string h = plat::Trim(host), n = plat::Trim(nick);
  const int64_t p = EasyStrToInt64(port);
  if (h.empty() || p <= 0 || p > 65535 || !UsableNick(n)) {
    Set(Invalid, LangText(kSection, "00905", "Give a server, a port from 1 to 65535 and a nick without blanks."));
    return false;
  }
  Set(Busy, LangText(kSection, "00906", "Registering") + " " + n + " @ " + h + ":" + std::to_string(p) + " ...");
  std::string id;
  id_.clear();
  client_.StartSession(h, int(p), n, password, email, true, false, id);
  // A connection that fails at once has ended (and been reported) already.
  if (state_ == Busy) id_ = id;
  return true;
}

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
