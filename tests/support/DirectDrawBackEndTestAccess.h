#pragma once

#include "view/DirectDrawBackEnd.h"

// What the tests read of the back end's placement and no caller needs.
class DirectDrawBackEndTestAccess {
public:
    static const RECT& SurfaceRect(const DirectDrawBackEnd& backEnd) { return backEnd.m_rcSurface; }
    static const RECT& PictureRect(const DirectDrawBackEnd& backEnd) { return backEnd.m_rcPicture; }
};
