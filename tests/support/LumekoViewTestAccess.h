#pragma once

#include <QSize>

#include "view/LumekoView.h"

// What the tests read of the view's bookkeeping and no caller needs.
class LumekoViewTestAccess {
public:
    static bool DirectDrawInUse(const CLumekoView& view) { return view.m_directDraw.InUse(); }
    // Where the view keeps track of itself, in screen pixels.
    static const RECT& ClientScreenRect(const CLumekoView& view) { return view.m_rcClientScreen; }
    static QSize ClientSize(const CLumekoView& view) {
        return {view.m_nClientWidth, view.m_nClientHeight};
    }
    static const FrameRect& FullScreenPlacementRect(const CLumekoView& view) {
        return view.m_fullScreenPlacement;
    }
};
