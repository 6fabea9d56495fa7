// The host's records of router state: a report for one destination, and a
// registered range of destinations.
#ifndef VESK_HOST_ROUTER_H
#define VESK_HOST_ROUTER_H

#include <string>

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

#endif  // VESK_HOST_ROUTER_H
