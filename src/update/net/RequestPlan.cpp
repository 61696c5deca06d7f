#include "update/net/RequestPlan.h"

RequestPlan::~RequestPlan() = default;
