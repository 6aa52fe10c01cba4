// DAB texts of absurd length from the host. A dynamic label carries at most 128 characters;
// the viewer's line wraps what it is given, at a cost that grows faster than the text, so the
// viewer keeps no more than a label of what a flooding host sends. How long the viewer takes
// over such a text is in ./run bench.
#include <gtest/gtest.h>

#include <memory>

#include "DeviceTest.h"
#include "Frame.h"
#include "Overlay.h"
#include "TvScreenDlg.h"

using namespace devtest;

namespace {

std::wstring Text(size_t n)
{
    static const std::wstring pool = L"채널 소식 ABC 123 기억장치 ";
    std::wstring s;
    for (size_t i = 0; i < n; ++i) s += pool[i % pool.size()];
    return s;
}

std::wstring LineText(HWND viewer)
{
    HWND line = GetDlgItem(viewer, IDC_DLS_EDIT);
    std::wstring s(static_cast<size_t>(GetWindowTextLengthW(line)) + 1, L'\0');
    s.resize(static_cast<size_t>(GetWindowTextW(line, &s[0], static_cast<int>(s.size()))));
    return s;
}

class DabTextAbuse : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetCurrentDirectoryW(L"C:\\");
        CreateFolders(CardRoot() + L"\\appdata");
        WriteDword(L"DLS", 1);
        dlg = std::make_unique<CTvScreenDlg>();
        ASSERT_TRUE(dlg->Create(IDD_MAIN_DIALOG));
    }
    void TearDown() override
    {
        dlg->DestroyWindow();
        dlg.reset();
        ReleaseVideoObjects();
    }

    // The viewer takes a text and shows it.
    void Take(const std::wstring& text)
    {
        host.SendText(dlg->m_hWnd, text);
        UpdateWindow(GetDlgItem(dlg->m_hWnd, IDC_DLS_EDIT));
    }

    StoreSnapshot store;
    CardGuard card;
    HostWindow host;
    std::unique_ptr<CTvScreenDlg> dlg;
};

TEST_F(DabTextAbuse, AHostFloodingTheLineGetsALabelOfItWrappedInEitherLine)
{
    // The narrow line of the windowed view and the wide one under a full-screen radio picture.
    for (int view : {VIEW_RADIO_WINDOW, VIEW_RADIO_FULL}) {
        dlg->m_nViewMode = view;
        SwitchOverlayMode(dlg.get(), view);
        for (size_t n : {size_t(128), size_t(4000), size_t(40000)}) {
            Take(Text(n));
            EXPECT_EQ(LineText(dlg->m_hWnd), Text(128)) << n << " characters in view " << view;
        }
    }
}

TEST_F(DabTextAbuse, ALabelIsShownWholeAndALongerTextUpToALabel)
{
    const std::wstring label = Text(128);
    auto shows = [&](const std::wstring& expected) {
        const std::wstring line = LineText(dlg->m_hWnd), kept(dlg->m_strDls);
        EXPECT_TRUE(line == expected) << "the line holds " << line.size() << " characters, not " << expected.size();
        EXPECT_TRUE(kept == expected) << "the viewer keeps " << kept.size() << " characters, not " << expected.size();
    };
    Take(label);
    shows(label);
    Take(Text(129));
    shows(label);
    Take(Text(100000));
    shows(label);
    Take(L"짧은 글");
    shows(L"짧은 글");
}

}  // namespace
