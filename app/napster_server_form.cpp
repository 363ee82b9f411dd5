#include "app/napster_server_form.h"

#include "app/language.h"
#include "app/view_parts.h"
#include "peer/gateway.h"

namespace {

constexpr const char* kSection = "NapsterServer";

}  // namespace

TNapsterServerForm::TNapsterServerForm(gui::Component* owner) : gui::Form(owner, "TNapsterServerForm") {
  SetCaption(LangText(kSection, "00000", "Servers and Networks"));
  SetBorderStyle(gui::FormBorder::Dialog);
  SetBounds(160, 140, 470, 330);
  view::AddLabel(this, LangText(kSection, "00001", "Tarnwick P2P networks"), 8, 8, 446);
  auto* health = new gui::Panel(this);
  health->SetBevel(gui::Panel::Bevel::Lowered);
  health->SetBounds(8, 26, 446, 64);
  health->SetParent(this);
  view::AddLabel(health, LangText(kSection, "00002", "Gnutella"), 10, 12, 70);
  GnutellaBar = new gui::ProgressBar(health);
  GnutellaBar->SetBounds(84, 10, 240, 18);
  GnutellaBar->SetParent(health);
  GnutellaPeers = view::AddLabel(health, "", 334, 12, 100);
  view::AddLabel(health, LangText(kSection, "00003", "Duskwire"), 10, 38, 70);
  DuskwireBar = new gui::ProgressBar(health);
  DuskwireBar->SetBounds(84, 36, 240, 18);
  DuskwireBar->SetParent(health);
  DuskwirePeers = view::AddLabel(health, "", 334, 38, 100);

  Sessions = new gui::ListView(this);
  Sessions->SetBounds(8, 98, 446, 160);
  // The sessions open now and what their servers last counted.
  Sessions->AddColumn(LangText(kSection, "00004", "Server"), 140);
  Sessions->AddColumn(LangText(kSection, "00005", "Nick"), 80);
  Sessions->AddColumn(LangText(kSection, "00006", "State"), 70);
  Sessions->AddColumn(LangText(kSection, "00007", "Users"), 50);
  Sessions->AddColumn(LangText(kSection, "00008", "Files"), 60);
  Sessions->AddColumn(LangText(kSection, "00009", "GB"), 40);
  Sessions->SetParent(this);
  gui::Button* close = view::AddButton(this, LangText(kSection, "00010", "Close"), 370, 266, 84, [this] { Hide(); });
  close->SetCancel(true);

  Timer1 = new gui::Timer(this);
  Timer1->SetInterval(1000);
  Timer1->SetEnabled(false);
  Timer1->OnTimer = [this](gui::Component*) { Timer1Timer(); };
  OnShow = [this](gui::Component*) {
    Timer1Timer();
    Timer1->SetEnabled(true);
  };
  OnHide = [this](gui::Component*) { Timer1->SetEnabled(false); };
}

void TNapsterServerForm::Timer1Timer() {
  GnutellaBar->SetPosition(GatewayGnutellaHealth());
  DuskwireBar->SetPosition(GatewayDuskwireHealth());
  const std::string peers = " " + LangText(kSection, "00011", "peers");
  GnutellaPeers->SetCaption(std::to_string(GatewayGnutellaPeers()) + peers);
  DuskwirePeers->SetCaption(std::to_string(GatewayDuskwirePeers()) + peers);
  if (!SessionRows) return;
  Sessions->ClearRows();
  for (const auto& row : SessionRows()) Sessions->AddRow(row);
}
