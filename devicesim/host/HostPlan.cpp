// Which answers a batch of requests gets. Kept apart from the window so the rules read as a table.
#include "HostService.h"

#include <algorithm>

#include "HostCodes.h"

namespace devhost {

namespace {

bool Has(const std::vector<Request>& batch, int code, int arg)
{
    return std::find(batch.begin(), batch.end(), Request(code, arg)) != batch.end();
}

bool IsTune(const Request& r)
{
    return r.first == SK_TUNE_CHANNEL || r.first == SK_SELECT_BAND || r.first == SK_TV_LIST ||
           (r.first == SK_RECEIVER && r.second == RCV_BAND);
}

bool IsBackToWindow(const Request& r)
{
    return r == Request(SK_VIEW_REQUEST, VIEWREQ_WINDOW) || r == Request(SK_PIP_REQUEST, PIPREQ_TO_WINDOW);
}

Action Send(int code, int arg) { return Action{Action::SEND, code, arg}; }

}  // namespace

std::vector<Action> PlanAnswers(const std::vector<Request>& batch, const PlanContext& context)
{
    std::vector<Action> out;
    // From picture-in-picture the viewer goes back to its window by itself.
    const bool selfReturn = Has(batch, SK_PIP_LEAVE, PIPLEAVE_ARG);
    bool window = context.windowJustAnswered, tune = false, mute = false;
    for (const Request& r : batch) {
        if (r == Request(SK_VIEW_REQUEST, VIEWREQ_FULL_SCREEN)) {
            out.push_back(Send(SK_VIEW, VIEWCMD_FULL_A));
        } else if (IsBackToWindow(r)) {
            if (!window && !selfReturn) out.push_back(Send(SK_VIEW, VIEWCMD_WINDOW));
            window = true;
        } else if (r == Request(SK_PIP_REQUEST, PIPREQ_FROM_FULL)) {
            out.push_back(Send(SK_VIEW, VIEWCMD_PIP_IF_ASKED));
        } else if (r == Request(SK_RECEIVER, RCV_PIP)) {
            out.push_back(Send(SK_VIEW, VIEWCMD_PIP_NOW));
        } else if (r == Request(SK_RECEIVER, RCV_MUTE)) {
            mute = true;
        } else if (IsTune(r)) {
            tune = true;
        } else if (r == Request(SK_VIEW_REQUEST, VIEWREQ_SEARCH)) {
            out.push_back(Action{Action::START_SEARCH, 0, 0});
        } else if (r == Request(SK_PANEL_CLOSING, 0)) {
            out.push_back(Send(SK_VIEW, VIEWCMD_RESUME_AFTER_SETTINGS));
        } else if (r.first == devworld::kMenuRequest) {
            out.push_back(Action{Action::MENU, r.first, r.second});
        }
    }
    if (mute) {
        out.push_back(Send(SK_MUTE_STATE, context.mutedAfter ? MUTE_ON : MUTE_OFF));
        out.push_back(Send(SK_LOCK, LOCK_RELEASE));
    }
    if (tune) {
        out.push_back(Send(SK_VIEW, VIEWCMD_SHOW_IN_FRAME));
        out.push_back(Send(SK_LOCK, LOCK_RELEASE));
        if (context.bandAfter == devworld::kBandRadio) out.push_back(Action{Action::DLS_TEXT, 0, 0});
    }
    return out;
}

}  // namespace devhost
