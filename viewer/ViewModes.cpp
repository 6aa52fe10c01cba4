#include "ViewModes.h"

namespace {

struct ViewOfMode {
    int nMode;
    int nBand;
    ViewKind kind;
};

const ViewOfMode kViews[] = {
    { VIEW_TV_WINDOW, BAND_TV, VIEWKIND_WINDOWED },
    { VIEW_RADIO_WINDOW, BAND_RADIO, VIEWKIND_WINDOWED },
    { VIEW_TV_FULL, BAND_TV, VIEWKIND_FULL },
    { VIEW_RADIO_FULL, BAND_RADIO, VIEWKIND_FULL },
    { VIEW_HIDDEN, BAND_NONE, VIEWKIND_NONE },
    { VIEW_TV_PIP, BAND_TV, VIEWKIND_PIP },
    { VIEW_RADIO_PIP, BAND_RADIO, VIEWKIND_PIP },
};

const ViewOfMode* FindView(int nMode)
{
    for (const ViewOfMode& v : kViews)
        if (v.nMode == nMode) return &v;
    return nullptr;
}

} // namespace

bool IsViewMode(int nMode) { return FindView(nMode) != nullptr; }

ViewKind KindOfView(int nMode)
{
    const ViewOfMode* v = FindView(nMode);
    return v ? v->kind : VIEWKIND_NONE;
}

bool IsWindowedView(int nMode) { return KindOfView(nMode) == VIEWKIND_WINDOWED; }
bool IsFullView(int nMode) { return KindOfView(nMode) == VIEWKIND_FULL; }
bool IsPipView(int nMode) { return KindOfView(nMode) == VIEWKIND_PIP; }

int BandOfView(int nMode)
{
    const ViewOfMode* v = FindView(nMode);
    return v ? v->nBand : BAND_NONE;
}

int BandOfWindowedView(int nMode) { return IsWindowedView(nMode) ? BandOfView(nMode) : BAND_NONE; }

int OtherBand(int nBand)
{
    if (nBand == BAND_TV) return BAND_RADIO;
    return nBand == BAND_RADIO ? BAND_TV : BAND_NONE;
}

int ViewOfBand(int nBand, ViewKind kind)
{
    for (const ViewOfMode& v : kViews)
        if (v.nBand == nBand && v.kind == kind) return v.nMode;
    return VIEW_HIDDEN;
}

int ChangeViewKind(int nMode, unsigned kindsFrom, ViewKind kindTo)
{
    const ViewOfMode* v = FindView(nMode);
    if (!v || v->nBand == BAND_NONE || !(v->kind & kindsFrom)) return nMode;
    return ViewOfBand(v->nBand, kindTo);
}

bool PipOnRightHalf(int nPipPos) { return nPipPos == 1 || nPipPos == 2; }

void ShowWindowFullScreen(CWnd& wnd, const CWnd* pInsertAfter)
{
    wnd.SetWindowPos(pInsertAfter, 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN),
                     SWP_SHOWWINDOW);
}

void ParkWindow(CWnd& wnd)
{
    wnd.SetWindowPos(&CWnd::wndTopMost, 0, 0, 0, 0, SWP_SHOWWINDOW);
}
