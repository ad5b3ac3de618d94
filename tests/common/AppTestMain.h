// Runs a Qt Test object inside the program's application object, with the
// working folder, settings and runtime folder in temporary folders.
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
    if (!work.isValid() || !config.isValid() || !runtime.isValid())
        return 1;
    qputenv("ORMID_WORKING_FOLDER", QByteArray(work.path().toLocal8Bit() + '/'));
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    CTXDoruvevAzadApp app(argc, argv);
    Test test(work.path());
    return QTest::qExec(&test, argc, argv);
}
