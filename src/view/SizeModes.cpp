#include "view/SizeModes.h"

PictureSize CorrectedSize(int width, int height) {
    if (height <= 0) return {width, height};
    const double ratio = static_cast<double>(width) / height;
    if (ratio < 1.25) return {static_cast<int>(height * 1.333), height};
    if (ratio > 1.4) return {width, static_cast<int>(width * 0.75)};
    return {width, height};
}

PictureSize FactorFrameSize(int factor, PictureSize base, PictureSize allowance) {
    return {factor * base.width + allowance.width, factor * base.height + allowance.height};
}

FrameRect FitAndCentre(PictureSize picture, FrameRect area) {
    if (picture.width <= 0 || picture.height <= 0 || area.width <= 0 || area.height <= 0)
        return area;
    if (static_cast<double>(picture.width) / picture.height >
        static_cast<double>(area.width) / area.height) {
        const int height =
            static_cast<int>(static_cast<long long>(area.width) * picture.height / picture.width);
        return {area.x, area.y + (area.height - height) / 2, area.width, height};
    }
    const int width =
        static_cast<int>(static_cast<long long>(area.height) * picture.width / picture.height);
    return {area.x + (area.width - width) / 2, area.y, width, area.height};
}

FrameRect MaximumFrameRect(FrameRect work, PictureSize base, PictureSize allowance) {
    // The picture fits in what the frame leaves of the work area; the frame goes around it.
    const FrameRect client = {work.x, work.y, work.width - allowance.width,
                              work.height - allowance.height};
    if (client.width <= 0 || client.height <= 0) return work;
    const FrameRect fitted = FitAndCentre(base, client);
    return {fitted.x, fitted.y, fitted.width + allowance.width, fitted.height + allowance.height};
}
