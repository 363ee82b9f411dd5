#include "app/napster_server_form.h"

#include "app/language.h"
#include "app/view_parts.h"
#include "controls/cool_bar_control.h"
#include "peer/gateway/gateway.h"

namespace {

constexpr const char* kSection = "NapsterServer";
constexpr const char* kViewGroup = "GROUP";

}  // namespace

TNapsterServerForm::TNapsterServerForm(gui::Component* owner) : gui::Form(owner, "TNapsterServerForm") {
  SetCaption(LangText(kSection, "00000", "Servers and Networks"));
  SetBorderStyle(gui::FormBorder::Dialog);
  SetBounds(160, 140, 470, 300);

  ButtonBar = new TCoolBarControl(this);
  ButtonBar->SetStyle(bsRight);
  ButtonBar->SetButtonSpacing(2);
  ButtonBar->SetBorderStyle(csSingle);
  ButtonBar->SetBounds(0, 0, 470, 34);
  ButtonBar->SetAlign(gui::alTop);
  gui::ImageList* pictures = view::ButtonPictures(this);
  ButtonBar->SetHotImageList(pictures);
  ButtonBar->SetColdImageList(pictures);
  ButtonBar->SetDisabledImageList(pictures);
  ButtonBar->SetParent(this);

  gui::Panel* bottom = view::Strip(this, gui::alBottom, 36);
  gui::Button* close = view::AddButton(bottom, LangText(kSection, "00010", "Close"), 370, 6, 84, [this] { Hide(); });
  close->SetCancel(true);

  auto* networks = new gui::Panel(this);
  networks->SetBevel(gui::Panel::Bevel::None);
  view::AddLabel(networks, LangText(kSection, "00001", "Tarnwick P2P networks"), 8, 8, 446);
  auto* health = new gui::Panel(networks);
  health->SetBevel(gui::Panel::Bevel::Lowered);
  health->SetBounds(8, 26, 446, 64);
  health->SetParent(networks);
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

  // The sessions open now and what their servers last counted.
  auto* sessions = new gui::Panel(this);
  sessions->SetBevel(gui::Panel::Bevel::None);
  Sessions = new gui::ListView(sessions);
  Sessions->SetBounds(8, 8, 446, 180);
  Sessions->AddColumn(LangText(kSection, "00004", "Server"), 130);
  Sessions->AddColumn(LangText(kSection, "00005", "Nick"), 76);
  Sessions->AddColumn(LangText(kSection, "00006", "State"), 70);
  Sessions->AddColumn(LangText(kSection, "00007", "Users"), 50);
  Sessions->AddColumn(LangText(kSection, "00008", "Files"), 56);
  Sessions->AddColumn(LangText(kSection, "00009", "GB"), 40);
  Sessions->SetParent(sessions);

  views_[vNetworks] = networks;
  views_[vSessions] = sessions;
  const std::pair<const char*, const char*> captions[vViewCount] = {{"00012", "Networks"}, {"00013", "Sessions"}};
  const int images[vViewCount] = {view::bpNetworks, view::bpServers};
  for (int v = 0; v < vViewCount; ++v) {
    views_[v]->SetAlign(gui::alClient);
    views_[v]->SetVisible(false);
    views_[v]->SetParent(this);
    TBarButton* b = ButtonBar->Add();
    b->SetHotImageIndex(images[v]);
    b->SetColdImageIndex(images[v]);
    b->SetCaption(LangText(kSection, captions[v].first, captions[v].second));
    b->SetGroup(kViewGroup);
    b->SetDown(true);
  }
  ButtonBar->OnChange = [this](TCoolBarControl*, TBarButton* b, int index) {
    if (index >= 0 && b->Down()) ShowView(TView(index));
  };
  ShowView(vNetworks);

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

void TNapsterServerForm::ShowView(TView v) {
  view_ = v;
  for (int i = 0; i < vViewCount; ++i) views_[i]->SetVisible(i == v);
  // The bar follows a view chosen from here; its button comes back here
  // through OnChange to the view shown already.
  TBarButton* b = ButtonBar->GetButton(v);
  if (!b->Down()) b->SetDown(true);
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
