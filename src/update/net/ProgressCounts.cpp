#include "update/net/ProgressCounts.h"

ProgressCounts::~ProgressCounts() = default;
