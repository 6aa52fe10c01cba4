// The viewer's face, in-process: where the knob, thumb, progress bar, names and figures land,
// what a search or a PIP view leaves out, what one press costs, and what goes back at the end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "DeviceTest.h"
#include "Frame.h"
#include "GdiSpy.h"
#include "Overlay.h"
#include "TvScreenDlg.h"

using namespace devtest;

namespace {

const std::wstring kUnderline(21, L'_');

bool ClipIs(const gdispy::Text& t, int l, int top, int r, int b)
{
    return t.clip.left == l && t.clip.top == top && t.clip.right == r && t.clip.bottom == b;
}

class Drawing : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gdispy::Install());
        SetCurrentDirectoryW(L"C:\\");
        CreateFolders(CardRoot() + L"\\appdata");
        dlg = std::make_unique<CTvScreenDlg>();
        ASSERT_TRUE(dlg->Create(IDD_MAIN_DIALOG));
        dlg->m_nViewMode = VIEW_TV_WINDOW;
        dlg->SetWindowPos(&CWnd::wndTopMost, 0, 0, 640, 480, SWP_SHOWWINDOW);
        Repaint();
        log().Clear();
    }

    gdispy::Log& log() { return gdispy::Current(); }
    HWND Wnd() const { return dlg->m_hWnd; }
    Image Shot(int x, int y, int w, int h) { return gdispy::CaptureWindow(Wnd(), x, y, w, h); }
    void Repaint()
    {
        InvalidateRect(Wnd(), nullptr, FALSE);
        UpdateWindow(Wnd());
        PumpMessages();
    }

    // Offsets (along x or y) at which piece appears exactly in strip.
    static std::vector<int> Matches(const Image& strip, const Image& piece, bool alongX, int origin)
    {
        std::vector<int> at;
        int n = alongX ? strip.width - piece.width : strip.height - piece.height;
        for (int i = 0; i <= n; ++i) {
            Image part = alongX ? Crop(strip, i, 0, piece.width, piece.height) : Crop(strip, 0, i, piece.width, piece.height);
            if (CountDifferent(part, piece) == 0) at.push_back(origin + i);
        }
        return at;
    }

    StoreSnapshot store;
    CardGuard card;
    std::unique_ptr<CTvScreenDlg> dlg;
};

TEST_F(Drawing, VolumeKnobFollowsTheStoredVolumeInSinglePrecisionSteps)
{
    Image knob = gdispy::ResourceImage(IDB_VOLUME_KNOB);
    ASSERT_FALSE(knob.Empty());
    const std::pair<std::optional<DWORD>, int> cases[] = {{std::nullopt, 417}, {1, 434}, {5, 504}, {10, 592}};
    for (const auto& c : cases) {
        if (c.first) ASSERT_TRUE(WriteDword(L"Volume", *c.first));
        else DeleteValue(L"Volume");
        ASSERT_EQ(ReadDword(L"Volume"), c.first);
        log().Clear();
        dlg->DrawMainPanel();
        int x = -1;
        for (const auto& b : log().blits)
            if (b.w == 28 && b.h == 22) x = b.x;
        EXPECT_EQ(x, c.second) << "the panel loads the stored volume";
        // On the empty bar, as a volume change draws it, the knob is seen at that place only.
        dlg->DrawButton(ELEM_VOLUME_BAR, 0);
        dlg->DrawVolumeKnob();
        EXPECT_EQ(Matches(Shot(400, 344, 240, 22), knob, true, 400), std::vector<int>{c.second});
    }
    // Every step, and a volume above the scale stays at the end of the bar.
    const int x[] = {434, 451, 469, 486, 504, 521, 539, 556, 574, 592, 592};
    for (int v = 1; v <= 11; ++v) {
        log().Clear();
        dlg->m_nVolume = v;
        dlg->DrawVolumeKnob();
        ASSERT_EQ(log().blits.size(), 1u);
        EXPECT_EQ(log().blits[0].x, x[v - 1]) << "volume " << v;
    }
}

TEST_F(Drawing, RedrawnMainPanelShowsOnlyTheCurrentKnob)
{
    Image knob = gdispy::ResourceImage(IDB_VOLUME_KNOB);
    ASSERT_TRUE(WriteDword(L"Volume", 1));
    dlg->DrawMainPanel();
    EXPECT_EQ(Matches(Shot(400, 344, 240, 22), knob, true, 400), std::vector<int>{434})
        << "a knob in the panel's own picture stays visible beside the real one";
}

TEST_F(Drawing, ScrollThumbFollowsTheListTop)
{
    Image thumb = gdispy::ResourceImage(IDB_SCROLL_THUMB);
    ASSERT_FALSE(thumb.Empty());
    dlg->m_nPanel = PANEL_LIST;
    // The last two: six and five channels scrolled down leave nothing below; the thumb sits at the end.
    const struct { int count, top, y; } cases[] = {{8, 2, 298}, {8, 3, 349}, {20, 2, 239}, {8, 1, 230}, {6, 2, 349}, {5, 3, 349}};
    for (const auto& c : cases) {
        dlg->m_nTvCount = c.count;
        dlg->m_nTvListTop = c.top;
        dlg->DrawListPanel();
        EXPECT_EQ(Matches(Shot(598, 220, 23, 160), thumb, false, 220), std::vector<int>{c.y})
            << c.count << " channels, top " << c.top;
    }
}

TEST_F(Drawing, SearchProgressFillsTwelveAndAHalfPixelsPerStepUpToTheBar)
{
    Image fill = gdispy::ResourceImage(IDB_PROGRESS_FILL);
    Image empty = gdispy::ResourceImage(IDB_PROGRESS_EMPTY);
    ASSERT_GT(CountDifferent(fill, empty), 250 * 15 / 2);
    for (auto c : {std::pair<int, int>{0, 0}, {1, 12}, {20, 250}, {21, 250}}) {
        dlg->DrawSearchProgress(0);
        dlg->DrawSearchProgress(c.first);
        Image bar = Shot(82, 238, 250, 15);
        int w = c.second;
        if (w > 0) EXPECT_EQ(CountDifferent(Crop(bar, 0, 0, w, 15), Crop(fill, 0, 0, w, 15)), 0) << "progress " << c.first;
        if (w < 250) EXPECT_EQ(CountDifferent(Crop(bar, w, 0, 250 - w, 15), Crop(empty, w, 0, 250 - w, 15)), 0) << "progress " << c.first;
    }
}

TEST_F(Drawing, SearchFiguresTakeTwoBlanksUpToNine)
{
    const struct { int which, n; const wchar_t* text; int y; } cases[] = {
        {0, 9, L" DMB 채널 :  9", 293},  {0, 10, L" DMB 채널 : 10", 293}, {0, -1, L" DMB 채널 :  -1", 293},
        {1, 9, L" DAB 채널 :  9", 323},  {1, 10, L" DAB 채널 : 10", 323}, {1, -1, L" DAB 채널 :  -1", 323}};
    for (const auto& c : cases) {
        dlg->ClearNoticeArea();
        EXPECT_EQ(CountNot(Shot(67, 178, 280, 175), 0), 0) << "the blanks are black";
        log().Clear();
        dlg->ShowSearchFigure(c.which, c.n);
        ASSERT_EQ(log().texts.size(), 2u);
        EXPECT_EQ(log().texts[0].text, L"채널 검색중 입니다.");
        EXPECT_EQ(log().texts[0].x, 67);
        EXPECT_EQ(log().texts[0].y, 178);
        const gdispy::Text& t = log().texts[1];
        EXPECT_EQ(t.text, c.text);
        EXPECT_EQ(t.options, static_cast<UINT>(ETO_CLIPPED));
        EXPECT_TRUE(ClipIs(t, 82, c.y, 332, c.y + 30));
        EXPECT_EQ(c.which ? dlg->m_nDabFigure : dlg->m_nDmbFigure, c.n);
        EXPECT_GT(CountNot(Shot(82, c.y, 250, 30), 0), 20) << "the figure shows on the black line";
    }
}

TEST_F(Drawing, ListRowsShowWidenedNamesAndLeaveEmptyRecordsBlank)
{
    std::vector<std::string> radio(80, "R");
    radio[79] = std::string(32, 'Z');  // the file's last bytes, with no zero after them
    ASSERT_TRUE(WriteChannelFile(4, 80, {"KBS 1TV", "", ToAnsi(L"기억 방송"), std::string(32, 'A'), "NEXT"}, radio));
    ASSERT_EQ(dlg->LoadChannelFile(), 1);
    dlg->TakeChannelCounts();
    dlg->m_nPanel = PANEL_LIST;
    dlg->DrawListPanel();

    ASSERT_EQ(log().texts.size(), 3u);
    EXPECT_EQ(log().texts[0].text, L"KBS 1TV");
    EXPECT_TRUE(ClipIs(log().texts[0], 430, 182, 583, 215));
    EXPECT_EQ(log().texts[1].text, L"기억 방송");
    EXPECT_EQ(log().texts[1].y, 182 + 41 * 2);
    EXPECT_EQ(log().texts[2].text, std::wstring(32, L'A'));
    Image row = Crop(gdispy::ResourceImage(IDB_LIST_ROW), 0, 0, 163, 33);
    EXPECT_EQ(CountDifferent(Shot(420, 179 + 41, 163, 33), row), 0) << "empty record: bare row";
    EXPECT_GT(CountDifferent(Shot(420, 179, 163, 33), row), 20) << "named record: text on the row";

    log().Clear();
    dlg->m_nViewMode = VIEW_RADIO_WINDOW;
    dlg->m_nRadioListTop = 75;
    dlg->DrawChannelList();
    ASSERT_EQ(log().texts.size(), 6u);
    EXPECT_EQ(log().texts[5].text, std::wstring(32, L'Z'));
}

TEST_F(Drawing, SearchLeavesOutTheControlsItWouldDisturb)
{
    dlg->m_bSearching = 1;
    for (int code : {0, 1, 2, 3, 4, 5, 101, 102, 103, 104, 105, 106, 107}) {
        log().Clear();
        dlg->DrawButton(code, 0);
        dlg->DrawButton(code, 1);
        EXPECT_TRUE(log().blits.empty()) << "element " << code;
    }
    for (int code : {108, 109, 110, 111, 112, 113, 114, 115, 116, 117, 120, 130, 131}) {
        log().Clear();
        dlg->DrawButton(code, 0);
        EXPECT_EQ(log().blits.size(), 1u) << "element " << code;
    }

    dlg->m_nSearchProgress = 10;
    dlg->m_nDmbFigure = 3;
    dlg->m_nDabFigure = 12;
    log().Clear();
    Repaint();
    std::vector<std::wstring> texts;
    for (const auto& t : log().texts) texts.push_back(t.text);
    ASSERT_EQ(texts, (std::vector<std::wstring>{kUnderline, L"채널 검색중 입니다.", L" DMB 채널 :  3",
                                                 L"채널 검색중 입니다.", L" DAB 채널 : 12"}));
    EXPECT_TRUE(ClipIs(log().texts[0], 60, 225, 310, 280));
    bool fill = false;
    for (const auto& b : log().blits) {
        EXPECT_FALSE(b.x == 504 && b.y == 236) << "mute drawn while searching";
        fill = fill || (b.x == 82 && b.y == 238 && b.w == 125 && b.h == 15);
    }
    EXPECT_TRUE(fill) << "progress 10 fills 125 pixels";
}

TEST_F(Drawing, PictureInPicturePaintsNothingAndTheWindowedViewPaintsTheSkin)
{
    for (int mode : {VIEW_TV_PIP, VIEW_RADIO_PIP}) {
        dlg->m_nViewMode = mode;
        log().Clear();
        Repaint();
        EXPECT_TRUE(log().blits.empty()) << "mode " << mode;
        EXPECT_TRUE(log().texts.empty()) << "mode " << mode;
    }
    dlg->m_nViewMode = VIEW_TV_WINDOW;
    log().Clear();
    Repaint();
    ASSERT_FALSE(log().blits.empty());
    const gdispy::Blit& skin = log().blits[0];
    EXPECT_EQ(skin.src, dlg->m_dcSkin.m_hDC);
    EXPECT_EQ(skin.w, 640);
    EXPECT_EQ(skin.h, 480);
    Image art = gdispy::ResourceImage(IDB_SKIN);
    EXPECT_EQ(CountDifferent(Shot(0, 0, 405, 480), Crop(art, 0, 0, 405, 480)), 0);
    EXPECT_EQ(CountNot(Shot(45, 132, 320, 240), 0), 0) << "the picture area is black";
}

TEST_F(Drawing, ButtonPressCostsOneBlitAndNoRepaint)
{
    Image strip = gdispy::ResourceImage(IDB_ARROW_UP);
    dlg->DrawButton(ELEM_CHANNEL_UP_ARROW, 1);
    ASSERT_EQ(log().blits.size(), 1u);
    const gdispy::Blit& b = log().blits[0];
    EXPECT_EQ(b.dst, dlg->m_pWndDC->m_hDC);
    EXPECT_EQ(b.ySrc, 53);
    RECT update;
    EXPECT_FALSE(GetUpdateRect(Wnd(), &update, FALSE));
    PumpMessages();
    EXPECT_EQ(log().blits.size(), 1u) << "no paint followed the press";
    EXPECT_EQ(CountDifferent(Shot(431, 187, 62, 53), Crop(strip, 0, 53, 62, 53)), 0);
}

TEST_F(Drawing, PressedArtLinesUpWithWhereTheFingerIsTested)
{
    // Touch regions; the art covers each, except that the scroll buttons take touches a little
    // around their smaller art, which then lies inside the region.
    const struct { int code, x1, x2, y1, y2; UINT bmp; } hits[] = {
        {108, 528, 632, 69, 113, 168}, {111, 4, 46, 370, 412, 155},  {112, 418, 522, 69, 113, 175},
        {113, 418, 522, 119, 163, 176}, {114, 528, 632, 119, 163, 177}, {101, 559, 636, 430, 475, 158},
        {103, 432, 492, 188, 239, 150}, {104, 432, 492, 272, 323, 156}, {105, 559, 619, 188, 239, 150},
        {106, 559, 619, 272, 323, 156}, {107, 505, 545, 237, 277, 154}, {109, 424, 522, 375, 414, 157},
        {117, 528, 626, 375, 414, 181}, {110, 424, 522, 420, 459, 137}, {102, 559, 636, 430, 475, 180},
        {0, 421, 582, 180, 211, 143},   {3, 421, 582, 303, 334, 143},   {5, 421, 582, 385, 416, 143},
        {115, 582, 636, 173, 249, 133}, {116, 582, 636, 348, 424, 132}};
    for (const auto& h : hits) {
        log().Clear();
        dlg->DrawButton(h.code, 1);
        ASSERT_EQ(log().blits.size(), 1u) << "element " << h.code;
        const gdispy::Blit& b = log().blits[0];
        const bool artCoversRegion = b.x <= h.x1 && h.x2 < b.x + b.w && b.y <= h.y1 && h.y2 < b.y + b.h;
        const bool regionCoversArt = h.x1 <= b.x && b.x + b.w - 1 <= h.x2 && h.y1 <= b.y && b.y + b.h - 1 <= h.y2;
        EXPECT_TRUE(h.code == 115 || h.code == 116 ? regionCoversArt : artCoversRegion) << "element " << h.code;
        Image s = gdispy::ResourceImage(h.bmp);
        EXPECT_GT(CountDifferent(Crop(s, 0, 0, b.w, b.h), Crop(s, 0, b.h, b.w, b.h)), b.w * b.h / 20)
            << "element " << h.code << ": its two states look alike";
    }
}

TEST_F(Drawing, DabLineIsWhiteOnOneBlackBrushAndTheDialogIsTransparent)
{
    HWND edit = GetDlgItem(Wnd(), IDC_DLS_EDIT);
    HDC dc = CreateCompatibleDC(nullptr);
    auto brush = [&](UINT msg, HWND from) {
        return reinterpret_cast<HBRUSH>(SendMessageW(Wnd(), msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(from)));
    };
    HBRUSH first = brush(WM_CTLCOLOREDIT, edit);
    EXPECT_EQ(brush(WM_CTLCOLOREDIT, edit), first);
    LOGBRUSH lb = {};
    ASSERT_EQ(GetObjectW(first, sizeof(lb), &lb), static_cast<int>(sizeof(lb)));
    EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(lb.lbColor, RGB(0, 0, 0));
    EXPECT_EQ(GetTextColor(dc), RGB(255, 255, 255));
    EXPECT_EQ(GetBkColor(dc), RGB(0, 0, 0));
    SetBkMode(dc, OPAQUE);
    EXPECT_EQ(brush(WM_CTLCOLORDLG, Wnd()), GetStockObject(NULL_BRUSH));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    DeleteDC(dc);
}

TEST_F(Drawing, EverythingMadeGoesBackWhenTheWindowIsDestroyed)
{
    dlg.reset();
    log().Clear();
    HBITMAP planted = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SKIN));
    EXPECT_EQ(log().liveObjects.count(planted), 1u) << "the spy sees an object not given back";
    DeleteObject(planted);

    auto viewer = std::make_unique<CTvScreenDlg>();
    ASSERT_TRUE(viewer->Create(IDD_MAIN_DIALOG));
    HWND hwnd = viewer->m_hWnd;
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageW(hwnd, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDC_DLS_EDIT)));
    DeleteDC(dc);
    EXPECT_GE(log().liveObjects.size(), 29u) << "skin, 26 elements, font, brush";
    const HDC text = viewer->m_pTextDC->m_hDC, wnd = viewer->m_pWndDC->m_hDC;
    const HDC skin = viewer->m_dcSkin.m_hDC, buttons = viewer->m_dcButtons.m_hDC, escape = g_pEscapeDC->m_hDC;
    log().released.clear();

    viewer->DestroyWindow();
    EXPECT_TRUE(log().liveObjects.empty());
    EXPECT_EQ(log().deletedDCs.count(skin) + log().deletedDCs.count(buttons), 2u);
    std::vector<HDC> back;
    for (const auto& r : log().released) {
        EXPECT_EQ(r.hwnd, hwnd);
        EXPECT_TRUE(r.windowAlive);
        back.push_back(r.hdc);
    }
    EXPECT_EQ(back, (std::vector<HDC>{text, wnd}));
    EXPECT_NE(text, escape);
    EXPECT_NE(wnd, escape);
    log().released.clear();
    viewer.reset();
    EXPECT_TRUE(log().released.empty()) << "nothing goes back twice";
}

TEST(ViewerArtwork, BitmapsHaveTheirSizesAndDepthsAndTheClickIsShortPcm)
{
    const struct { UINT id; int w, h, bpp; } art[] = {
        {129, 640, 480, 8}, {171, 235, 419, 8}, {170, 235, 419, 8}, {158, 79, 94, 8},  {180, 79, 94, 8},
        {150, 62, 106, 8},  {156, 62, 106, 8},  {154, 42, 84, 8},   {168, 106, 92, 8}, {157, 100, 82, 8},
        {137, 100, 82, 8},  {155, 44, 88, 8},   {175, 106, 92, 8},  {176, 106, 92, 8}, {177, 106, 92, 8},
        {133, 36, 96, 8},   {132, 36, 96, 8},   {181, 100, 82, 8},  {143, 163, 66, 8}, {172, 186, 22, 8},
        {173, 28, 22, 8},   {178, 23, 137, 8},  {179, 23, 18, 8},   {164, 280, 60, 8}, {165, 250, 30, 8},
        {183, 250, 15, 4},  {184, 250, 15, 4}};
    for (const auto& a : art) {
        HRSRC r = FindResourceW(nullptr, MAKEINTRESOURCEW(a.id), reinterpret_cast<LPCWSTR>(RT_BITMAP));
        ASSERT_NE(r, nullptr) << a.id;
        const auto* bih = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, r)));
        EXPECT_EQ(bih->biWidth, a.w) << a.id;
        EXPECT_EQ(std::abs(bih->biHeight), a.h) << a.id;
        EXPECT_EQ(bih->biBitCount, a.bpp) << a.id;
    }
    HRSRC wave = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_CLICK), L"WAVE");
    ASSERT_NE(wave, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, wave), 540u);
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, wave)));
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(bytes) + 8, 8), "WAVEfmt ");
    WAVEFORMATEX fmt = {};
    memcpy(&fmt, bytes + 20, sizeof(PCMWAVEFORMAT));
    EXPECT_EQ(fmt.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(fmt.nChannels, 1);
    EXPECT_EQ(fmt.nSamplesPerSec, 11025u);
    EXPECT_EQ(fmt.wBitsPerSample, 8);
}

}  // namespace
