#include <gtest/gtest.h>

#include <QApplication>

#if defined(__SANITIZE_THREAD__)
// Qt is not built with ThreadSanitizer. Its mutexes, its event queue (which carries every call
// from the engine's reader thread to the window) and its image worker threads synchronise in
// ways the sanitizer cannot see, so every hand-over through them looks like a race.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n"
           "race:libQt6Widgets.so\n"
           "race:QMetaObject::invokeMethod\n";
}
#endif

int main(int argc, char* argv[]) {
    // Test discovery runs this binary outside ctest's environment too.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
