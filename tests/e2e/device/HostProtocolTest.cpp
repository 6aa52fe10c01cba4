// The host service seen from the programs' side: the test plays the viewer and the panel on
// "HL_SOFTKEY" (and stands in for their windows) and checks the answers, the store, the receiver
// state the display shows, the channel file and the program starts.
#include "DeviceHarness.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace devtest;
using namespace devicetest;
using devworld::kBandRadio;
using devworld::kBandTv;

namespace {

class Host : public ::testing::Test {
protected:
    void SetUp() override { ClearReceiverState(); }
    void TearDown() override
    {
        if (m_host.Valid()) m_host.Kill();
        ClearReceiverState();
    }

    void StartHost()
    {
        m_host = Start(SimPath(L"devicehost.exe"));
        ASSERT_TRUE(m_host.Valid());
        ASSERT_TRUE(PollUntil([] { return FindWindowW(devworld::kHostClass, nullptr) != nullptr; }));
    }

    // Sends a request as the viewer or the panel would and waits for the answer it must get.
    bool Ask(int code, int arg, int answerCode, int answerArg, DWORD timeoutMs = kHangMs)
    {
        const size_t mark = m_listen.Messages().size();
        m_listen.Broadcast(code, arg);
        return PollUntil([&] { return IndexOf(m_listen, answerCode, answerArg, mark) >= 0; }, timeoutMs);
    }

    // Everything the host sent for the requests before it has arrived once it answers this one.
    bool Settled() { return Ask(SK_VIEW_REQUEST, VIEWREQ_FULL_SCREEN, SK_VIEW, VIEWCMD_FULL_A); }

    devworld::ReceiverState Receiver()
    {
        devworld::ReceiverState s;
        devworld::ReadReceiverState(s);
        return s;
    }

    DWORD Stored(const wchar_t* name)
    {
        DWORD v = 0xFFFFFFFF;
        devworld::ReadStore(name, v);
        return v;
    }

    CardGuard m_card;
    StoreSnapshot m_store;
    HostWindow m_listen;
    Process m_host;
};

TEST_F(Host, NewDeviceGetsFactoryChannelFileAndDefaultStoreKeepingSetValues)
{
    ASSERT_TRUE(DeleteStoreKey());
    ASSERT_TRUE(WriteDword(L"Volume", 9));
    StartHost();

    auto bytes = ReadFileBytes(devworld::ChannelFilePath());
    ASSERT_TRUE(bytes.has_value());
    ASSERT_EQ(bytes->size(), 3204u);
    EXPECT_EQ(*bytes, devworld::ChannelFileImage(devworld::FactoryChannels()));
    EXPECT_EQ((*bytes)[0], 6);
    EXPECT_EQ((*bytes)[1], 9);
    // "한빛 TV" in the device's code page: 0xC7D1 0xBAFB, a blank, "TV", then the closing zero.
    const uint8_t first[] = {0xC7, 0xD1, 0xBA, 0xFB, ' ', 'T', 'V', 0};
    EXPECT_TRUE(std::equal(std::begin(first), std::end(first), bytes->begin() + 4));
    EXPECT_EQ((*bytes)[644], 0xC7);   // the radio names start at 644 with "한빛 FM"

    EXPECT_EQ(Stored(L"Volume"), 9u);   // a value already set stays
    for (const auto& d : devworld::StoreDefaults())
        if (std::wstring(d.name) != L"Volume") EXPECT_EQ(Stored(d.name), d.value) << d.name;

    devworld::ReceiverState rx = Receiver();
    EXPECT_EQ(rx.band, kBandTv);
    EXPECT_EQ(rx.channel, 1);
    EXPECT_EQ(rx.name, devworld::FactoryChannels().tv[0]);
}

TEST_F(Host, KeepsAUsableChannelFileAndReplacesAnEmptyOne)
{
    devworld::ChannelList own = {{L"Only TV"}, {L"Only FM", L"Second FM"}};
    ASSERT_TRUE(devworld::WriteChannelFile(own));
    StartHost();
    devworld::ChannelList read;
    ASSERT_TRUE(devworld::ReadChannelFile(read));
    EXPECT_EQ(read.tv, own.tv);
    EXPECT_EQ(read.radio, own.radio);
    m_host.Kill();

    // The viewer creates the file empty when it starts first; the host then writes its own.
    ASSERT_TRUE(WriteChannelBytes({}));
    StartHost();
    auto bytes = ReadFileBytes(devworld::ChannelFilePath());
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, devworld::ChannelFileImage(devworld::FactoryChannels()));
}

TEST_F(Host, AnswersViewRequestsAfterTheRequestHasReturned)
{
    StartHost();
    size_t mark = m_listen.Messages().size();
    m_listen.Broadcast(SK_VIEW_REQUEST, VIEWREQ_FULL_SCREEN);
    // Not from inside the handler: when the broadcast returns, the answer has not come yet.
    EXPECT_EQ(IndexOf(m_listen, SK_VIEW, VIEWCMD_FULL_A, mark), -1);
    EXPECT_TRUE(m_listen.WaitFor(SK_VIEW, VIEWCMD_FULL_A));

    EXPECT_TRUE(Ask(SK_PIP_REQUEST, PIPREQ_FROM_FULL, SK_VIEW, VIEWCMD_PIP_IF_ASKED));
    EXPECT_TRUE(Ask(SK_RECEIVER, RCV_PIP, SK_VIEW, VIEWCMD_PIP_NOW));

    // Back from full screen: 14/74 and 102/2 are one command with one answer.
    mark = m_listen.Messages().size();
    m_listen.Broadcast(SK_VIEW_REQUEST, VIEWREQ_WINDOW);
    m_listen.Broadcast(SK_PIP_REQUEST, PIPREQ_TO_WINDOW);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(CodesSince(m_listen, mark),
              (std::vector<std::pair<int, int>>{{SK_VIEW, VIEWCMD_WINDOW}, {SK_VIEW, VIEWCMD_FULL_A}}));

    // Back from picture-in-picture the viewer switches itself: 14/74 with 90/52 gets no 16/56.
    mark = m_listen.Messages().size();
    m_listen.Broadcast(SK_VIEW_REQUEST, VIEWREQ_WINDOW);
    m_listen.Broadcast(SK_PIP_LEAVE, PIPLEAVE_ARG);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(IndexOf(m_listen, SK_VIEW, VIEWCMD_WINDOW, mark), -1);

    // Requests it does not answer: the close button, the host's own codes sent back at it.
    mark = m_listen.Messages().size();
    for (auto r : {std::pair<int, int>{SK_RECEIVER, RCV_CLOSE}, {SK_VIEW, VIEWCMD_WINDOW}, {SK_LOCK, 0}, {77, 1}})
        m_listen.Broadcast(r.first, r.second);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(CodesSince(m_listen, mark), (std::vector<std::pair<int, int>>{{SK_VIEW, VIEWCMD_FULL_A}}));
}

TEST_F(Host, VolumeStepsAreStoredWithinOneToTen)
{
    ASSERT_TRUE(WriteDword(L"Volume", 9));
    StartHost();
    m_listen.Broadcast(SK_RECEIVER, RCV_VOLUME_UP);
    EXPECT_EQ(Stored(L"Volume"), 10u);   // applied before the request returns
    m_listen.Broadcast(SK_RECEIVER, RCV_VOLUME_UP);
    EXPECT_EQ(Stored(L"Volume"), 10u);
    for (int i = 0; i < 12; ++i) m_listen.Broadcast(SK_RECEIVER, RCV_VOLUME_DOWN);
    EXPECT_EQ(Stored(L"Volume"), 1u);
    // A value out of range in the store counts as its nearest bound.
    ASSERT_TRUE(WriteDword(L"Volume", 40));
    m_listen.Broadcast(SK_RECEIVER, RCV_VOLUME_DOWN);
    EXPECT_EQ(Stored(L"Volume"), 9u);
    ASSERT_TRUE(WriteDword(L"Volume", 0));
    m_listen.Broadcast(SK_RECEIVER, RCV_VOLUME_UP);
    EXPECT_EQ(Stored(L"Volume"), 2u);
    // Volume steps get no answer.
    const size_t mark = m_listen.Messages().size();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(CodesSince(m_listen, mark).size(), 1u);
}

TEST_F(Host, MuteTogglesAndFreesTheLock)
{
    StartHost();
    size_t mark = m_listen.Messages().size();
    ASSERT_TRUE(Ask(SK_RECEIVER, RCV_MUTE, SK_MUTE_STATE, MUTE_ON));
    EXPECT_TRUE(PollUntil([&] { return IndexOf(m_listen, SK_LOCK, LOCK_RELEASE, mark) >= 0; }));
    mark = m_listen.Messages().size();
    ASSERT_TRUE(Ask(SK_RECEIVER, RCV_MUTE, SK_MUTE_STATE, MUTE_OFF));
    EXPECT_EQ(IndexOf(m_listen, SK_MUTE_STATE, MUTE_ON, mark), -1);
}

TEST_F(Host, TuningPublishesTheReceiverAndShowsThePictureAgain)
{
    StartHost();
    StandIn viewer(devworld::kViewerTitle);
    const auto& list = devworld::FactoryChannels();

    size_t mark = m_listen.Messages().size();
    m_listen.Broadcast(SK_TUNE_CHANNEL, 2);
    EXPECT_EQ(Receiver().name, list.tv[2]);
    EXPECT_EQ(Receiver().channel, 3);
    ASSERT_TRUE(PollUntil([&] { return IndexOf(m_listen, SK_LOCK, LOCK_RELEASE, mark) >= 0; }));
    EXPECT_EQ(CodesSince(m_listen, mark),
              (std::vector<std::pair<int, int>>{{SK_VIEW, VIEWCMD_SHOW_IN_FRAME}, {SK_LOCK, LOCK_RELEASE}}));
    EXPECT_TRUE(viewer.Texts().empty());   // no DAB text for a TV channel

    // An index beyond the band's channels leaves the receiver as it was.
    m_listen.Broadcast(SK_TUNE_CHANNEL, 6);
    m_listen.Broadcast(SK_TUNE_CHANNEL, -1);
    EXPECT_EQ(Receiver().name, list.tv[2]);

    // The band toggle plays the radio channel last tuned, and its DAB text follows.
    m_listen.Broadcast(SK_RECEIVER, RCV_BAND);
    EXPECT_EQ(Receiver().band, kBandRadio);
    EXPECT_EQ(Receiver().name, list.radio[0]);
    ASSERT_TRUE(PollUntil([&] { return !viewer.Texts().empty(); }));
    EXPECT_EQ(viewer.Texts().back(), devworld::DabTexts(list.radio[0])[0]);
    m_listen.Broadcast(SK_TUNE_CHANNEL, 4);
    const std::wstring fifth = devworld::DabTexts(list.radio[4])[0];
    EXPECT_TRUE(PollUntil([&] { return viewer.Texts().back() == fifth; }));

    // The TV list button: 56/1 then 48/1 select TV again, on the TV channel tuned before.
    m_listen.Broadcast(SK_TV_LIST, 1);
    m_listen.Broadcast(SK_SELECT_BAND, kBandTv);
    EXPECT_EQ(Receiver().band, kBandTv);
    EXPECT_EQ(Receiver().name, list.tv[2]);
    m_listen.Broadcast(SK_SELECT_BAND, 3);   // no such band
    EXPECT_EQ(Receiver().band, kBandTv);
}

TEST_F(Host, RadioTextChangesNowAndThen)
{
    StartHost();
    StandIn viewer(devworld::kViewerTitle);
    m_listen.Broadcast(SK_SELECT_BAND, kBandRadio);
    ASSERT_TRUE(PollUntil([&] { return !viewer.Texts().empty(); }));
    const std::wstring first = viewer.Texts().back();
    ASSERT_TRUE(PollUntil([&] { return viewer.Texts().back() != first; }));
    const auto lines = devworld::DabTexts(devworld::FactoryChannels().radio[0]);
    EXPECT_EQ(viewer.Texts().back(), lines[1]);
}

TEST_F(Host, PanelValuesAreStoredWithoutAnswer)
{
    StartHost();
    const size_t mark = m_listen.Messages().size();
    m_listen.Broadcast(SK_BRIGHTNESS, 3);
    EXPECT_EQ(Stored(L"Bright"), 3u);
    m_listen.Broadcast(SK_BRIGHTNESS, 15);
    EXPECT_EQ(Stored(L"Bright"), 10u);
    m_listen.Broadcast(SK_FM_TX, 879);
    EXPECT_EQ(Stored(L"FMTx"), 879u);
    m_listen.Broadcast(SK_FM_TX, 875);
    EXPECT_EQ(Stored(L"FMTx"), 875u);
    m_listen.Broadcast(SK_DIMMER, DIMMER_OFF_ARG);
    EXPECT_EQ(Stored(L"Dimmer"), 1u);
    m_listen.Broadcast(SK_DIMMER, DIMMER_ON_ARG);
    EXPECT_EQ(Stored(L"Dimmer"), 0u);
    m_listen.Broadcast(SK_DIMMER, 6);
    EXPECT_EQ(Stored(L"Dimmer"), 0u);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(CodesSince(m_listen, mark), (std::vector<std::pair<int, int>>{{SK_VIEW, VIEWCMD_FULL_A}}));

    // The panel closing lets the viewer show its picture again.
    EXPECT_TRUE(Ask(SK_PANEL_CLOSING, 0, SK_VIEW, VIEWCMD_RESUME_AFTER_SETTINGS));
}

TEST_F(Host, SearchReportsProgressAndRewritesTheChannelFile)
{
    StartHost();
    StandIn viewer(devworld::kViewerTitle);
    const size_t mark = m_listen.Messages().size();
    m_listen.Broadcast(SK_VIEW_REQUEST, VIEWREQ_SEARCH);
    ASSERT_TRUE(PollUntil([&] { return IndexOf(m_listen, SK_VIEW, VIEWCMD_RELOAD_THEN_RADIO, mark) >= 0; }));

    int progress = 0, tv = -1, radio = -1;
    bool fileNewAtEnd = false;
    for (const auto& [code, arg] : CodesSince(m_listen, mark)) {
        if (code == SK_SEARCH_PROGRESS) {
            EXPECT_EQ(arg, progress + 1);
            progress = arg;
        } else if (code == SK_DMB_FIGURE) {
            EXPECT_GE(arg, tv);
            tv = arg;
        } else if (code == SK_DAB_FIGURE) {
            EXPECT_GE(arg, radio);
            radio = arg;
        } else if (code == SK_LOCK && arg == LOCK_SEARCH_END) {
            EXPECT_EQ(progress, 20);
        }
    }
    auto bytes = ReadFileBytes(devworld::ChannelFilePath());
    ASSERT_TRUE(bytes.has_value());
    fileNewAtEnd = *bytes == devworld::ChannelFileImage(devworld::OnAirChannels());
    EXPECT_TRUE(fileNewAtEnd);
    EXPECT_EQ(progress, 20);
    EXPECT_EQ(tv, static_cast<int>(devworld::OnAirChannels().tv.size()));
    EXPECT_EQ(radio, static_cast<int>(devworld::OnAirChannels().radio.size()));
    // 80/1 ends the search before 16/58 asks for the reload.
    int end = IndexOf(m_listen, SK_LOCK, LOCK_SEARCH_END, mark);
    ASSERT_GE(end, 0);
    EXPECT_LT(end, IndexOf(m_listen, SK_VIEW, VIEWCMD_RELOAD_THEN_RADIO, mark));
    // The viewer comes back in the radio window: the radio plays, with its text.
    EXPECT_EQ(Receiver().band, kBandRadio);
    EXPECT_TRUE(PollUntil([&] { return !viewer.Texts().empty(); }));
}

TEST_F(Host, MainMenuBringsTheViewerAndSendsThePanelBack)
{
    StartHost();
    StandIn viewer(devworld::kViewerTitle);
    StandIn panel(devworld::kPanelTitle);
    size_t mark = m_listen.Messages().size();
    m_listen.Broadcast(devworld::kMenuRequest, devworld::MENU_RADIO);
    ASSERT_TRUE(PollUntil([&] { return IndexOf(m_listen, SK_VIEW, VIEWCMD_WINDOW, mark) >= 0; }));
    EXPECT_EQ(CodesSince(m_listen, mark),
              (std::vector<std::pair<int, int>>{{SK_PANEL_TO_BACK, devworld::TOBACK_VIEWER},
                                                {SK_VIEW, VIEWCMD_RELOAD_RADIO_WINDOW},
                                                {SK_VIEW, VIEWCMD_WINDOW}}));
    EXPECT_EQ(Receiver().band, kBandRadio);
    EXPECT_TRUE(PollUntil([&] { return !viewer.Texts().empty(); }));

    mark = m_listen.Messages().size();
    m_listen.Broadcast(devworld::kMenuRequest, devworld::MENU_TV);
    ASSERT_TRUE(PollUntil([&] { return IndexOf(m_listen, SK_VIEW, VIEWCMD_WINDOW, mark) >= 0; }));
    EXPECT_EQ(IndexOf(m_listen, SK_VIEW, VIEWCMD_RELOAD_TV_WINDOW, mark), static_cast<int>(mark) + 1);
    EXPECT_EQ(Receiver().band, kBandTv);
}

TEST_F(Host, MainMenuStartsTheBlankScreenFromTheCard)
{
    ASSERT_TRUE(devworld::InstallCard(BinDir(), DEVICESIM_BIN_DIR));
    StartHost();
    StandIn panel(devworld::kPanelTitle);
    const size_t mark = m_listen.Messages().size();
    m_listen.Broadcast(devworld::kMenuRequest, devworld::MENU_BLANK);
    EXPECT_TRUE(PollUntil([&] { return IndexOf(m_listen, SK_PANEL_TO_BACK, devworld::TOBACK_BLANK, mark) >= 0; }));
    HWND blank = nullptr;
    ASSERT_TRUE(PollUntil(
        [&] {
            for (HWND h : TopLevelWindows())
                if (IsShown(h) && SameRect(WindowRect(h), 0, 0, 480, 234)) blank = h;
            return blank != nullptr;
        }));
    EXPECT_TRUE(WaitGone(blank));   // it ends by itself
}

}  // namespace
