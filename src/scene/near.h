#pragma once

// True when every component pair differs by at most tolerance. The difference
// is formed in double precision; a NaN difference is never within. (Not named
// near: <windows.h> defines that as an empty macro.)
inline bool withinTolerance(const float* a, const float* b, int count, float tolerance) {
    for (int i = 0; i < count; ++i) {
        double difference = (double)a[i] - (double)b[i];
        if (difference < 0) difference = -difference;
        if (!(difference <= (double)tolerance)) return false;
    }
    return true;
}
