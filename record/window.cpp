#include "record/window.h"

#include "sensor/pictures.h"
#include "sensor/vars.h"

void ToleranceWindowNow(int& setPoint, int& lower, int& upper) {
    const PictureWords w = PictureWordsOf(DisplayVariant(), parameter, tol);
    setPoint = w.setPoint;
    upper = w.setPoint + w.up;
    lower = w.setPoint - w.low;
    if (w.variant == Variant::CL) {
        if (upper > int(ccdvirtpixel)) upper = int(ccdvirtpixel);
        if (lower < 1) lower = 1;
    }
}
