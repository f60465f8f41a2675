// A window typed into and clicked through QTest under the platform plugin Qt
// was started with, then drawn into qt-smoke.png.
#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* button = new QPushButton(QStringLiteral("Greet"), &window);
    auto* label = new QLabel(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(edit);
    layout->addWidget(button);
    layout->addWidget(label);
    QObject::connect(button, &QPushButton::clicked, label,
                     [&] { label->setText(QStringLiteral("Hello, ") + edit->text()); });
    window.resize(240, 120);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not shown\n");
        return 1;
    }
    QTest::keyClicks(edit, QStringLiteral("Varnholt"));
    QTest::mouseClick(button, Qt::LeftButton);

    const QImage image = window.grab().toImage();
    const bool saved = image.save(QStringLiteral("qt-smoke.png"));
    const auto families = QFontDatabase::families();
    std::printf("Qt %s, platform %s, %lld font families, label \"%s\", image %dx%d%s\n", qVersion(),
                qPrintable(QGuiApplication::platformName()),
                static_cast<long long>(families.size()), qPrintable(label->text()), image.width(),
                image.height(), saved ? " saved" : " not saved");
    return label->text() == QStringLiteral("Hello, Varnholt") && saved && !families.isEmpty() ? 0
                                                                                              : 1;
}
