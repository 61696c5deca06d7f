#include "update/net/Connection.h"

Connection::~Connection() = default;
