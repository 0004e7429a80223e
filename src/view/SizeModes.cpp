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

FrameRect MaximumFrameRect(FrameRect work, PictureSize base, PictureSize allowance) {
    const int availWidth = work.width - allowance.width,
              availHeight = work.height - allowance.height;
    if (base.width <= 0 || base.height <= 0 || availWidth <= 0 || availHeight <= 0) return work;
    if (static_cast<double>(base.width) / base.height >
        static_cast<double>(availWidth) / availHeight) {
        const int height =
            static_cast<int>(static_cast<long long>(base.height) * availWidth / base.width) +
            allowance.height;
        return {work.x, work.y + (work.height - height) / 2, work.width, height};
    }
    const int width =
        static_cast<int>(static_cast<long long>(base.width) * availHeight / base.height) +
        allowance.width;
    return {work.x + (work.width - width) / 2, work.y, width, work.height};
}
