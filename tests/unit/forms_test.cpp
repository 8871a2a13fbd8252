// The form model and the headless host that the window tests stand on.
#include <gtest/gtest.h>

#include "common/Forms.h"
#include "platform/fake/FakeLoop.h"
#include "platform/fake/HeadlessHost.h"

namespace {

class Recorder : public Form {
  public:
    explicit Recorder(FormHost& host) : Form(host, "fRecorder") {
        cmdOk = Add<Button>("cmdOk", {{0, 0, 100, 100}});
        cmdOk->SetDefault(true);
        cmdCancel = Add<Button>("cmdCancel", {{0, 0, 100, 100}});
        cmdCancel->SetText("&Cancel");
        chkBox = Add<CheckBox>("chkBox", {{0, 0, 100, 100}});
        txtText = Add<TextBox>("txtText", {{0, 0, 100, 100}, -1});
        cboList = Add<ComboList>("cboList", {{0, 0, 100, 100}});
        cboList->SetSorted(true);
        picPage = Add<Page>("picPage", {{0, 0, 100, 100}});
        cmdOnPage = Add<Button>("cmdOnPage", {{0, 0, 10, 10}, 0, picPage});
    }
    Button* cmdOk;
    Button* cmdCancel;
    CheckBox* chkBox;
    TextBox* txtText;
    ComboList* cboList;
    Page* picPage;
    Button* cmdOnPage;

    void OnLoad() override { events.push_back("load"); }
    void OnUnload() override { events.push_back("unload"); }
    void OnClick(Control& c) override {
        events.push_back(
            "click " + c.Name() +
            (c.Kind() == ControlKind::CheckBox ? " " + std::to_string(c.Value()) : ""));
    }
    void OnChange(Control& c) override { events.push_back("change " + c.Name()); }
    void OnGotFocus(Control& c) override { events.push_back("focus " + c.Name()); }
    void OnLostFocus(Control& c) override { events.push_back("lost " + c.Name()); }
    std::vector<std::string> events;
};

class FormsTest : public ::testing::Test {
  protected:
    FakeClock clock;
    FakeFileSystem files;
    FakeEventLoop loop{clock};
    HeadlessHost host{loop, files};
};

// The host's collation decides; entries it holds equal keep the order of their bytes,
// whatever order they were added in.
TEST_F(FormsTest, SortedListAsksTheHostAndBreaksTiesByTheText) {
    const std::vector<std::vector<std::string>> additions{
        {"beta", "Alpha", "abc", "ABCD"},
        {"alpha", "ALPHA", "Alpha"},
        {"Alpha", "alpha", "ALPHA"},
        {"same", "same"},
    };
    const std::vector<std::vector<std::string>> sorted{
        {"abc", "ABCD", "Alpha", "beta"},
        {"ALPHA", "Alpha", "alpha"},
        {"ALPHA", "Alpha", "alpha"},
        {"same", "same"},
    };
    for (std::size_t i = 0; i < additions.size(); ++i) {
        Recorder form(host);
        ComboList& list = *form.cboList;
        for (const auto& text : additions[i]) list.AddItem(text);
        std::vector<std::string> texts;
        for (int j = 0; j < list.ListCount(); ++j) texts.push_back(list.Item(j).text);
        EXPECT_EQ(texts, sorted[i]) << i;
    }
}

TEST_F(FormsTest, SortedListPlacesEntriesAndKeepsTheSelection) {
    Recorder form(host);
    ComboList& list = *form.cboList;
    EXPECT_EQ(list.AddItem("zeta", 1), 0);
    EXPECT_EQ(list.AddItem("Alpha", 2), 0);
    list.SetListIndex(1);  // zeta
    EXPECT_EQ(list.AddItem("beta", 3), 1);
    EXPECT_EQ(list.AddItem("Gamma", 4), 2);
    EXPECT_EQ(list.ListIndex(), 3);
    EXPECT_EQ(list.Item(3).text, "zeta");
    EXPECT_EQ(list.Item(3).tag, 1);
    list.SetListIndex(9);
    EXPECT_EQ(list.ListIndex(), -1);
}

TEST_F(FormsTest, UnsortedListKeepsTheOrderOfAdding) {
    Recorder form(host);
    ComboList& list = *form.cboList;
    list.SetSorted(false);
    list.AddItem("b");
    list.AddItem("a");
    EXPECT_EQ(list.Item(0).text, "b");
}

TEST_F(FormsTest, LifeCycleAndFocus) {
    Recorder form(host);
    form.Show();
    EXPECT_TRUE(form.IsLoaded());
    EXPECT_TRUE(form.IsVisible());
    // The lowest tab position that takes the focus gets it when the form opens.
    EXPECT_EQ(host.Focused(), form.txtText);
    host.Click(*form.chkBox);
    host.Click(*form.chkBox);
    host.PressEnter(form);
    EXPECT_TRUE(host.PressAccessKey(form, 'c'));
    EXPECT_FALSE(host.PressAccessKey(form, 'x'));
    form.Unload();
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(form.events, (std::vector<std::string>{
                               "load", "lost txtText", "focus chkBox", "click chkBox 1",
                               "click chkBox 0", "lost chkBox", "focus cmdOk", "click cmdOk",
                               "lost cmdOk", "focus cmdCancel", "click cmdCancel", "unload"}));
}

TEST_F(FormsTest, DisabledHiddenAndHiddenPageControlsIgnoreTheUser) {
    Recorder form(host);
    form.Show();
    form.cmdOk->SetEnabled(false);
    host.PressEnter(form);
    form.cmdCancel->SetVisible(false);
    host.Click(*form.cmdCancel);
    form.picPage->SetVisible(false);
    host.Click(*form.cmdOnPage);
    EXPECT_EQ(form.events, std::vector<std::string>{"load"});
}

TEST_F(FormsTest, ModalShowReturnsWhenTheFormUnloadsAndStopsItsTimers) {
    Recorder form(host);
    int ticks = 0;
    loop.At(0, [&] { form.StartTimer(1000, [&] { ++ticks; }); });
    loop.At(5500, [&] { host.CloseBox(form); });
    form.ShowModal();
    EXPECT_EQ(ticks, 5);
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(loop.ActiveTimers(), 0u);
}

TEST_F(FormsTest, TimersDoNotDriftAndMissedTicksComeAsOne) {
    int ticks = 0;
    const TimerId id = loop.StartTimer(1000, [&] { ++ticks; });
    clock.Advance(3500);  // nobody handled events meanwhile
    loop.ProcessPendingEvents();
    EXPECT_EQ(ticks, 1);
    loop.RunUntil([&] { return ticks == 2; });
    EXPECT_EQ(clock.SteadyMilliseconds() % 1000, 0u);  // still on the whole seconds
    loop.StopTimer(id);
    EXPECT_THROW(loop.RunUntil([] { return false; }), std::logic_error);
}

TEST_F(FormsTest, HeadlessTextMeasureWrapsAtBlanks) {
    EXPECT_EQ(host.MeasureText({}, "abc", 0), (TwipSize{270, 195}));
    EXPECT_EQ(host.MeasureText({}, "aaaa bbbb", 450), (TwipSize{360, 390}));
    EXPECT_EQ(host.MeasureText({}, "one\r\ntwo", 0), (TwipSize{270, 390}));
}

TEST_F(FormsTest, OuterSizeAddsTheFrame) {
    Recorder form(host);
    form.SetOuterSize({3345, 1530});
    EXPECT_EQ(form.ClientSize(), (TwipSize{3345 - 90, 1530 - 420}));
    EXPECT_EQ(form.OuterSize(), (TwipSize{3345, 1530}));
}

TEST_F(FormsTest, PicturesNeedAReadableFile) {
    Recorder form(host);
    Picture& picture = *form.Add<Picture>("imgPicture", {{0, 0, 10, 10}});
    files.AddFile("C:\\a.gif");
    files.AddFile("C:\\b.gif");
    host.undecodable.push_back("C:\\b.gif");
    EXPECT_TRUE(picture.LoadPicture("C:\\a.gif"));
    EXPECT_FALSE(picture.LoadPicture("C:\\b.gif"));
    EXPECT_FALSE(picture.LoadPicture("C:\\c.gif"));
    EXPECT_EQ(picture.PicturePath(), "C:\\a.gif");
}

}  // namespace

namespace {

// Colours of our own outside high contrast; only the theme's under it.
TEST_F(FormsTest, HighContrastLeavesNoColourOfOurOwn) {
    Form form(host, "fColours");
    form.BackColor = 0xFFFFFF;
    Label* plain = form.Add<Label>("lblPlain", {});
    Label* red = form.Add<Label>("lblRed", {});
    red->SetForeColor(0xC00000);
    LinkLabel* link = form.Add<LinkLabel>("lblLink", {});
    Line* grey = form.Add<Line>("linGrey", {});
    grey->SetForeColor(0x808080);
    using P = Paint;
    for (const bool hc : {false, true}) {
        EXPECT_EQ(TextPaint(*plain, hc), (P{syscolor::kButtonText}));
        EXPECT_EQ(TextPaint(*red, hc), (hc ? P{syscolor::kButtonText} : P{-1, 0xC00000}));
        EXPECT_EQ(TextPaint(*link, hc), (hc ? P{syscolor::kHotLight} : P{-1, 0x0000C0}));
        EXPECT_EQ(LinePaint(*grey, hc), (hc ? P{syscolor::kWindowText} : P{-1, 0x808080}));
        EXPECT_EQ(BackPaint(form, hc), (hc ? P{syscolor::kButtonFace} : P{-1, 0xFFFFFF}));
    }
}

}  // namespace
