#include "AboutBox.h"

#include "Icons.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      version_(QStringLiteral("Версия 1.97")) {
    setWindowTitle(QStringLiteral("О Программе..."));
    setModal(false);

    auto* icon = new QLabel(this);
    icon->setPixmap(Icons::icon(Icons::Application).pixmap(64, 64));
    auto* product = new QLabel(QStringLiteral("Программа загрузки \nПО в микроконтроллеры"), this);
    QFont bold = product->font();
    bold.setBold(true);
    product->setFont(bold);
    auto* version = new QLabel(version_, this);
    auto* comment = new QLabel(QStringLiteral("Контроллеры LUMET5x и DORN2x: прошивка, загрузка\n"
                                              "в память хранения и выгрузка прошивки в файл."),
                               this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(product);
    texts->addWidget(version);
    texts->addWidget(comment);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        adjustSize();
        move(screen->availableGeometry().center() - rect().center());
    }
}

QString AboutBox::versionText() const {
    return version_;
}
