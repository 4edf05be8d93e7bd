// Widget test programs run many tests in one application object, whose state outlives a test.
// One piece of it is the pointer's position: a move of the pointer to where it already is
// delivers no event, so a test that probes under the pointer saw nothing whenever the test before
// it (or its own earlier run under --gtest_repeat) had left the pointer on that very point. This
// listener gives every test the same start, whatever ran before it and however often: widgets
// deleted later and queued events delivered, and the pointer parked outside every window.
#pragma once

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>

#include <gtest/gtest.h>

namespace widgettest {

class Isolation : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { Reset(); }
    void OnTestEnd(const ::testing::TestInfo&) override { Reset(); }

    static void Reset() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QCursor::setPos(-1, -1);
        QCoreApplication::processEvents();
    }
};

// Installs the listener; call after InitGoogleTest, once the application object exists.
inline void InstallIsolation() {
    ::testing::UnitTest::GetInstance()->listeners().Append(new Isolation);
}

}  // namespace widgettest
