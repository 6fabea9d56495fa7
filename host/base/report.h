// The host's records of router state: a report for one destination, and a
// registered range of destinations.
#ifndef VESK_HOST_BASE_REPORT_H
#define VESK_HOST_BASE_REPORT_H

#include <string>
#include <vector>

// A router report as the component receives it: device, destination (index),
// source (info) and the source's name (text).
struct Report {
    int device;
    int index;
    int info;
    std::string text;
};

struct Registration {
    int first;
    int last;
};

// "1-4 7-7": the ranges as the host's notes give them.
std::string rangesText(const std::vector<Registration>& ranges);

#endif  // VESK_HOST_BASE_REPORT_H
