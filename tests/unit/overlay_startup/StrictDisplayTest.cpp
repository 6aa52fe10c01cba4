// The simulated display answers as the device's driver does: it checks record sizes against the
// device's numbers, not this build's, and refuses what the hardware cannot do. The engine's own
// start-up and every view must pass all of it.
#include "overlay_common/OverlayFixture.h"

#include "dvp.h"

using namespace overlaytest;

class StrictDisplay : public OverlayTest {};

TEST_F(StrictDisplay, TheEnginesWholePathIsAcceptedWithoutARefusal)
{
    Fresh();
    ASSERT_EQ(InitPlay(m_dlg), 1);
    Dlg().m_bDlsOn = 1;
    for (int mode : {VIEW_TV_WINDOW, VIEW_TV_FULL, VIEW_RADIO_FULL, VIEW_TV_PIP, VIEW_RADIO_PIP, VIEW_HIDDEN}) {
        Dlg().m_nViewMode = mode;
        EXPECT_EQ(SwitchOverlayMode(m_dlg, mode), DD_OK) << "view " << mode;
    }
    for (int corner = 0; corner < 4; ++corner) NextPipPosition(m_dlg);
    EXPECT_EQ(SwitchOverlayMode(m_dlg, VIEW_RADIO_WINDOW), DD_OK);
    ShowWindowedOverlay();
    EXPECT_EQ(g_hrLast, DD_OK);
    for (const ddsim::Call& c : ddsim::Log()) {
        bool counted = c.name == "AddRef" || c.name == "Release" || c.name == "ExtEscape" || c.name == "WindowPos";
        if (!counted) EXPECT_EQ(c.hr, DD_OK) << c.Text();
        if (c.name == "ExtEscape") EXPECT_EQ(c.hr, 1) << c.Text();
    }
    EXPECT_EQ(ddsim::DeadCalls(), 0);
    EXPECT_TRUE(Boxes().Texts().empty());
}

TEST_F(StrictDisplay, RefusesWhatTheDevicesDriverRefuses)
{
    ASSERT_NE(g_pDD, nullptr);
    ASSERT_NE(g_pOverlay, nullptr);
    // A record one field short of the device's layout.
    DDCAPS caps = {};
    caps.dwSize = ddlayout::kCaps - 4;
    EXPECT_EQ(g_pDD->GetCaps(&caps, nullptr), DDERR_INVALIDPARAMS);
    DDSURFACEDESC2 desc = {};
    desc.dwSize = ddlayout::kSurfaceDesc2 + 4;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    LPDIRECTDRAWSURFACE4 surface = nullptr;
    EXPECT_EQ(g_pDD->CreateSurface(&desc, &surface, nullptr), DDERR_INVALIDPARAMS);
    DDVIDEOPORTINFO info = g_vpInfo;
    info.dwSize = ddlayout::kVideoPortInfo - 4;
    EXPECT_EQ(g_pVideoPort->StartVideo(&info), DDERR_INVALIDPARAMS);
    DDCOLORCONTROL color = {};
    color.dwSize = ddlayout::kColorControl + 4;
    EXPECT_EQ(g_pVideoPort->GetColorControls(&color), DDERR_INVALIDPARAMS);
    // An effects record is read whatever the flags say.
    RECT rc = {0, 0, 320, 240};
    DDOVERLAYFX fx = {};
    fx.dwSize = ddlayout::kOverlayFx + 8;
    EXPECT_EQ(g_pOverlay->UpdateOverlay(&rc, g_pPrimary, &rc, DDOVER_SHOW, &fx), DDERR_INVALIDPARAMS);

    // One screen, one primary surface.
    desc.dwSize = ddlayout::kSurfaceDesc2;
    EXPECT_EQ(g_pDD->CreateSurface(&desc, &surface, nullptr), DDERR_PRIMARYSURFACEALREADYEXISTS);
    EXPECT_EQ(surface, nullptr);

    // The escape cannot push a shown overlay past the screen's right edge, nor can a show.
    fx.dwSize = ddlayout::kOverlayFx;
    ASSERT_EQ(g_pOverlay->UpdateOverlay(&rc, g_pPrimary, &rc, DDOVER_SHOW, &fx), DD_OK);
    char out[4] = {};
    EXPECT_EQ(ExtEscape(g_pEscapeDC->m_hDC, ddsim::kEscOverlayXPos, 1321, nullptr, 0, out), 0);
    EXPECT_EQ(ddsim::GetDisplay().escapeX, 0);
    EXPECT_EQ(Last("ExtEscape").Arg("out"), "buffer");
    ASSERT_EQ(g_pOverlay->UpdateOverlay(nullptr, g_pPrimary, nullptr, DDOVER_HIDE, nullptr), DD_OK);
    ASSERT_EQ(ExtEscape(g_pEscapeDC->m_hDC, ddsim::kEscOverlayXPos, 1321, nullptr, 0, nullptr), 1);
    EXPECT_EQ(Last("ExtEscape").Arg("out"), "null");
    EXPECT_EQ(g_pOverlay->UpdateOverlay(&rc, g_pPrimary, &rc, DDOVER_SHOW, &fx), DDERR_INVALIDRECT);

    // Whatever the DirectDraw object made dies with it, even while the program still holds it.
    LPDIRECTDRAWSURFACE4 overlay = g_pOverlay;
    LPDIRECTDRAWVIDEOPORT port = g_pVideoPort;
    overlay->AddRef();
    port->AddRef();
    ReleaseVideoObjects();
    EXPECT_EQ(port->StartVideo(&g_vpInfo), DDERR_INVALIDOBJECT);
    EXPECT_EQ(overlay->UpdateOverlay(&rc, nullptr, &rc, DDOVER_SHOW, &fx), DDERR_INVALIDOBJECT);
    EXPECT_EQ(ddsim::DeadCalls(), 2);
    EXPECT_EQ(ddsim::LiveObjects().total(), 0);
}
