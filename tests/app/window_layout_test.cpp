// What a user sees of each window, at its default size and (the main
// window) at its smallest: nothing sticks out, lies over another part or
// is cut, on every view and page; the messages view fills its area and
// shows the newest lines; password entries mask their text; the server
// window switches its views from its button bar.
#include "tests/app/app_fixture.h"
#include "tests/app/layout_check.h"

#include "app/file_exists_form.h"
#include "app/legacy_settings_form.h"
#include "app/message_view.h"
#include "app/napster_server_form.h"
#include "app/register_wizard_form.h"
#include "app/settings_form.h"
#include "controls/cool_bar_control.h"

namespace {

using testapp::LayoutFaults;
using Faults = std::vector<std::string>;

// Shown within its window (the window itself may be hidden).
bool ShownIn(const gui::Control* c) {
  for (; c && c->Parent(); c = c->Parent())
    if (!c->Visible()) return false;
  return true;
}

class WindowLayoutTest : public testapp::MainFormTest {
 protected:
  // The faults of a window shown as it is now (where: named in a failure).
  static Faults Check(gui::Form& f) {
    f.HandleNeeded();
    Pump();
    return LayoutFaults(&f);
  }
};

TEST_F(WindowLayoutTest, TheMainWindowShowsEveryViewWholeAtItsDefaultAndItsSmallestSize) {
  auto form = MakeForm();
  // The smallest size the frame lets the user give it.
  MINMAXINFO limits{};
  SendMessageA(reinterpret_cast<HWND>(form->Handle()), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  ASSERT_GT(limits.ptMinTrackSize.x, 600);
  ASSERT_GT(limits.ptMinTrackSize.y, 400);
  const gui::Size sizes[] = {{form->Width(), form->Height()}, {limits.ptMinTrackSize.x, limits.ptMinTrackSize.y}};
  for (const gui::Size& s : sizes) {
    form->SetBounds(form->Left(), form->Top(), s.Width, s.Height);
    for (int v = 0; v < TMainForm::vViewCount; ++v) {
      form->ShowView(TMainForm::TView(v));
      EXPECT_EQ(Check(*form), Faults{}) << s.Width << "x" << s.Height << ", view " << v;
    }
  }
  // The status bar's panels say each thing once, each in full.
  EXPECT_TRUE(WaitFor([&] { return form->SharingText() == "Sharing 0 files"; })) << form->SharingText();
  EXPECT_EQ(form->LastStatus().find("Sharing"), std::string::npos) << form->LastStatus();
}

TEST_F(WindowLayoutTest, TheMessagesViewFillsItsAreaAndShowsTheNewestLines) {
  auto form = MakeForm();
  form->ShowView(TMainForm::vMessages);
  form->ShowAndActivate();
  gui::Memo* log = form->MessageView->LogBox();
  const HWND h = reinterpret_cast<HWND>(log->Handle());
  for (int i = 0; i < 200; ++i) form->MessageView->Add("line " + std::to_string(i) + " of what the servers say");
  // Switching views and resizing keep it so.
  form->ShowView(TMainForm::vSearch);
  form->SetBounds(form->Left(), form->Top(), form->Width() + 40, form->Height() + 30);
  form->ShowView(TMainForm::vMessages);
  Pump();
  RECT text{};
  SendMessageA(h, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
  const int lineHeight = gui::Service<gui::TextMeasurer>::Get().LineHeight(log->Font());
  EXPECT_GT(text.right - text.left, log->ClientWidth() - 12) << "wrapped at the view's width";
  EXPECT_GT(text.bottom - text.top, log->ClientHeight() - 2 * lineHeight) << "as high as the view (whole lines)";
  const int lines = int(SendMessageA(h, EM_GETLINECOUNT, 0, 0));
  const int first = int(SendMessageA(h, EM_GETFIRSTVISIBLELINE, 0, 0));
  const int shown = (text.bottom - text.top) / lineHeight;
  EXPECT_EQ(lines, 200);
  EXPECT_GE(first + shown, lines - 1) << "scrolled to the end";
  EXPECT_GT(first, 100);
}

TEST_F(WindowLayoutTest, TheWizardShowsEachPageWholeWithItsLongestAnswers) {
  auto w = std::make_unique<TRegisterWizardForm>(nullptr, folder);
  // The reminder to accept goes once the box is ticked.
  w->HandleNeeded();
  EXPECT_FALSE(w->Next());
  EXPECT_EQ(w->StatusText(), "Accept the terms to go on.");
  SendMessageA(reinterpret_cast<HWND>(w->AcceptBox->Handle()), BM_CLICK, 0, 0);
  EXPECT_TRUE(w->AcceptBox->Checked());
  EXPECT_EQ(w->StatusText(), "");
  for (int p = 0; p < TRegisterWizardForm::pgCount; ++p) {
    EXPECT_EQ(Check(*w), Faults{}) << "page " << p;
    if (p < TRegisterWizardForm::pgScan) ASSERT_TRUE(w->Next()) << w->StatusText();
  }
}

TEST_F(WindowLayoutTest, TheSettingsDialogShowsEachPageWholeAndTheRowItsFieldsShow) {
  auto form = MakeForm();
  TNapsterSettingsForm* s = form->SettingsForm;
  s->LoadFromMain();
  s->HandleNeeded();
  // The fields show the row the list shows chosen.
  ASSERT_EQ(s->SelectedRow(), 0);
  EXPECT_EQ(s->ShareList()->Selected(), 0);
  EXPECT_EQ(s->NameEdit->GetText(), "Downloads");
  for (int p = 0; p < s->Pages()->PageCount(); ++p) {
    s->Pages()->SetPageIndex(p);
    EXPECT_EQ(Check(*s), Faults{}) << "page " << p;
  }
  EXPECT_EQ(Check(*s->Progress), Faults{});
}

TEST_F(WindowLayoutTest, TheSmallWindowsShowEachPartWhole) {
  auto form = MakeForm();
  EXPECT_EQ(Check(*form->LegacySettings), Faults{});
  TFileExistsForm ask(nullptr, folder + "a rather long file name of a song.mp3");
  EXPECT_EQ(Check(ask), Faults{});
  TNapsterServerForm* servers = form->ServerForm;
  for (int v = 0; v < TNapsterServerForm::vViewCount; ++v) {
    servers->ShowView(TNapsterServerForm::TView(v));
    EXPECT_EQ(Check(*servers), Faults{}) << "view " << v;
  }
}

// Every entry of a password shows stars: the wizard's, the settings
// dialog's and the networks window's.
TEST_F(WindowLayoutTest, EveryPasswordEntryMasksItsText) {
  auto form = MakeForm();
  TRegisterWizardForm wizard(nullptr, folder);
  for (gui::Edit* e : {wizard.PasswordEdit(), form->SettingsForm->RegisterPasswordEdit(),
                       form->LegacySettings->PasswordBox()}) {
    e->SetText("secret");
    EXPECT_NE(SendMessageA(reinterpret_cast<HWND>(e->Handle()), EM_GETPASSWORDCHAR, 0, 0), 0);
    EXPECT_EQ(e->GetText(), "secret");
  }
}

// The server window's bar: one button down, each showing its view when
// pressed and letting the other up.
TEST_F(WindowLayoutTest, TheServerWindowSwitchesItsViewsFromItsButtonBar) {
  auto form = MakeForm();
  TNapsterServerForm* w = form->ServerForm;
  w->HandleNeeded();
  TCoolBarControl* bar = w->ButtonBar;
  ASSERT_EQ(bar->Count(), int(TNapsterServerForm::vViewCount));
  EXPECT_TRUE(bar->GetButton(TNapsterServerForm::vNetworks)->Down());
  EXPECT_TRUE(ShownIn(w->GnutellaBar));
  EXPECT_FALSE(ShownIn(w->Sessions));
  const TBarButton* sessions = bar->GetButton(TNapsterServerForm::vSessions);
  bar->Perform(WM_LBUTTONDOWN, 0, gui::MakeLParam(sessions->Left() + 4, sessions->Top() + 4));
  EXPECT_EQ(w->CurrentView(), TNapsterServerForm::vSessions);
  EXPECT_TRUE(sessions->Down());
  EXPECT_FALSE(bar->GetButton(TNapsterServerForm::vNetworks)->Down());
  EXPECT_TRUE(ShownIn(w->Sessions));
  EXPECT_FALSE(ShownIn(w->GnutellaBar));
}

}  // namespace
