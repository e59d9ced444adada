// The edge graph and the roll chart of one measurement frame, computed from the words.
#include "sensor/pictures.h"

PictureWords PictureWordsOf(Variant v, const std::array<uint16_t, 64>& w, uint16_t tol) {
    switch (v) {
    case Variant::V303: {
        const bool sensorTol = w[31] == 1 || w[31] == 3;  // hardwareMode
        return {v, w[21], w[22], w[23], w[24], sensorTol ? tol : w[25], sensorTol ? tol : w[26],
                w[29], w[18], w[19]};
    }
    case Variant::CL: return {v, w[36], w[37], w[38], w[39], w[40], w[41], w[44], w[33], w[34]};
    default: return {v, w[6], w[7], w[8], w[9], tol, tol, w[13], 0, 0};
    }
}

Measurement LastMeasurement() {
    return {Ledge, Redge, edcnt, mvstart, mvend, Mvalue, umValue, anaMax, anaMin, dynpow};
}

SensorLine ConnectedLine() { return {ccdvirtpixel, pixB, pixE, HWTYPE}; }

namespace {

int MeasuredPosition(const PictureWords& w, const Measurement& m, int hwtype) {
    const int sum = (int(m.ledge) + int(m.redge)) / 2;
    const bool edgeHardware = w.variant == Variant::CL || hwtype == 1;
    switch (w.evalMode) {
    case 0: return edgeHardware ? m.ledge : sum;
    case 1: return edgeHardware ? m.redge : sum;
    default: return (m.ledge == 0 || m.redge == 0) ? 1 : sum;
    }
}

// A window's left end below 0 becomes 1, its right end beyond the line's last but one position
// the line's end.
PixelSpan OnLine(int from, int to, int virt) { return {from < 0 ? 1 : from, to > virt - 1 ? virt : to}; }

}  // namespace

EdgePicture EdgeGraphPicture(const PictureWords& w, const Measurement& m, const SensorLine& line) {
    const int virt = line.virtPixels;
    EdgePicture p;
    switch (w.anaMode) {
    case 2: p.anaOut = m.anaMax; break;
    case 3: p.anaOut = m.anaMin; break;
    case 4: p.anaOut = int(m.anaMax) - int(m.anaMin); break;
    default: p.anaOut = int(m.mvalue); break;
    }
    // the power slider follows the regulated power in power mode 1
    p.showsPower = w.variant != Variant::Standard;
    if (p.showsPower) p.power = w.powerMode == 1 ? int(m.dynpow) : w.power;

    int upper = w.setPoint + w.up;
    int lower = w.setPoint - w.low;
    if (w.variant == Variant::CL) {
        if (upper > virt) upper = virt;
        if (lower < 1) lower = 1;
    }
    const int mv = int(m.mvalue);
    p.outOfTolerance = mv > upper || mv < lower;
    p.length = double(m.umValue) / 1000.0;

    p.edgeBegin = w.edgeBegin;
    p.edgeEnd = w.edgeEnd;
    int pos = MeasuredPosition(w, m, line.hwtype);
    if (pos < line.pixB) pos = line.pixB;
    if (pos > line.pixE) pos = line.pixE;
    if (pos < 1) pos = 1;
    if (pos > virt) pos = virt;
    p.position = pos;

    // the object between its edges; a single edge tells its side by the order of mvstart and mvend
    if (m.edcnt == 1) {
        p.hasBar = true;
        p.bar = m.mvstart < m.mvend ? PixelSpan{m.ledge, line.pixE} : PixelSpan{1, m.ledge};
    } else if (m.edcnt >= 2) {
        p.hasBar = true;
        p.bar = {m.ledge, m.redge};
    }

    if (w.variant != Variant::Standard) return p;
    const int s = w.setPoint;
    const int t = w.up;
    if (w.evalMode == 2) {
        // the expected edges of an object of width S centred on the measured position
        if (m.edcnt == 0) return p;
        p.windows = 2;
        p.window[0] = OnLine(pos - s / 2 - t / 2, pos - s / 2 + t / 2, virt);
        p.window[1] = {pos + s / 2 - t / 2, pos + s / 2 + t / 2};
    } else {
        p.windows = 1;
        p.window[0] = OnLine(s - t, s + t, virt);
    }
    return p;
}

RollSample RollChartSample(const PictureWords& w, const Measurement& m, int virt) {
    const int mv = int(m.mvalue);
    const int s = w.setPoint;

    // analog-output traces
    int high = 1;
    int low = virt - 1;
    switch (w.anaMode) {
    case 0:
    case 1: high = low = mv; break;
    case 2:
        high = m.anaMax;
        low = mv;
        break;
    case 3:
        high = mv;
        low = (m.anaMin == virt - 1) ? 1 : m.anaMin;  // a minimum at its reset value
        break;
    case 4:
        high = m.anaMax;
        low = m.anaMin;
        break;
    default: break;
    }

    // tolerance limits, kept on the line
    int upper = s + w.up;
    int lower = s - w.low;
    if (upper > virt - 1) upper = virt - 1;
    if (lower < 1) lower = 1;

    RollSample r;
    // zoom window, each side on its own tolerance
    if (w.low < 40) {
        r.zoomMin = s - 40;
        if (mv < r.zoomMin) r.zoomMin = mv - 60;
    } else {
        r.zoomMin = s - 2 * w.low;
        if (mv < r.zoomMin) r.zoomMin = mv - 100;
    }
    if (w.up < 40) {
        r.zoomMax = s + 40;
        if (mv > r.zoomMax) r.zoomMax = mv + 60;
    } else {
        r.zoomMax = s + 2 * w.up;
        if (mv > r.zoomMax) r.zoomMax = mv + 100;
    }
    if (r.zoomMax > virt - 1) r.zoomMax = virt - 1;
    if (r.zoomMin < 1) r.zoomMin = 1;

    r.outOfTolerance = mv > upper || mv < lower;
    r.traces = {upper, lower, s, mv, low, high};
    return r;
}

ToleranceLengths LengthsOf(const PictureWords& w, uint32_t scaleFactor) {
    const double f = double(scaleFactor);
    const double unit = ScaleUnit(w.variant) * 1000.0;
    return {f * w.up / unit, f * w.low / unit};
}
