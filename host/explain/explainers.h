// Which explainer a module gets: the only place that knows the components
// this host can explain.
#ifndef VESK_HOST_EXPLAIN_EXPLAINERS_H
#define VESK_HOST_EXPLAIN_EXPLAINERS_H

#include <memory>
#include <string>

#include "explain/explainer.h"

// The explainer for the module at `path` (by its file name: Parvex.so or
// Parvex.dll gets Parvex's); one that explains nothing for any other.
std::unique_ptr<Explainer> explainerFor(const std::string& path);

#endif  // VESK_HOST_EXPLAIN_EXPLAINERS_H
