#include "update/net/BodyReceiver.h"

BodyReceiver::~BodyReceiver() = default;
