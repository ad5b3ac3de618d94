// Runs a Qt Test object inside the program's application object, with the
// working folder, settings, runtime and state folders in temporary folders.
#pragma once

#include <QTemporaryDir>
#include <QTest>

#include "CTXDoruvevAzadApp.h"

template <class Test>
int RunAppTest(int argc, char** argv)
{
    QTemporaryDir work;
    QTemporaryDir config;
    QTemporaryDir runtime;
    QTemporaryDir state;
    if (!work.isValid() || !config.isValid() || !runtime.isValid() || !state.isValid())
        return 1;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    qputenv("ORMID_WORKING_FOLDER", QByteArray(work.path().toLocal8Bit() + '/'));
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    CTXDoruvevAzadApp app(argc, argv);
    Test test(work.path());
    return QTest::qExec(&test, argc, argv);
}
