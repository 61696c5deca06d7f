// Where koru-publish takes a secret key's password from: KORU_PUBLISH_PASSWORD
// when set, else a prompt on the terminal with echo off.
#pragma once

#include <QByteArray>

// Raises RuntimeError when there is neither the variable nor a terminal.
QByteArray PasswordPrompt();
