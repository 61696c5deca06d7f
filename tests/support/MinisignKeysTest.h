// Key pairs made by the real minisign once per suite; each test skips when
// minisign is not installed.
#pragma once

#include "support/Minisign.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>

class MinisignKeysTest : public ::testing::Test {
protected:
    // For a suite's SetUpTestSuite.
    static void MakeKeys(std::initializer_list<const char*> names) {
        if (!Minisign::Installed())
            return;
        keys = std::make_unique<QTemporaryDir>();
        for (const char* name : names)
            ASSERT_TRUE(Minisign::MakeKeys(KeyFile(name)));
    }
    static void TearDownTestSuite() { keys.reset(); }

    void SetUp() final {
        if (!keys)
            GTEST_SKIP() << "minisign is not installed (scripts/install-deps installs it)";
        SetUpWithKeys();
    }
    virtual void SetUpWithKeys() {}

    // The named pair's files: the secret key with ".key", the public one with ".pub".
    static QString KeyFile(const char* name, const char* suffix = "") {
        return keys->filePath(QString::fromLatin1(name) + QString::fromLatin1(suffix));
    }

    static inline std::unique_ptr<QTemporaryDir> keys;
    QTemporaryDir work;
};
