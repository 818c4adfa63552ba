#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    if (qEnvironmentVariableIsEmpty("LUMISIFT_ADVERT_LIBRARY"))
        qputenv("LUMISIFT_ADVERT_LIBRARY", LUMISIFT_TEST_ADVERT_LIBRARY);
    QApplication app(argc, argv);
    // Windows under test keep their per-user files away from the user's own.
    QStandardPaths::setTestModeEnabled(true);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
