// The lamp pictures, and setters that leave a lamp alone when it already shows
// the wanted picture (the measurement cycle sets every lamp ten times a second).
#pragma once
#include <QAbstractButton>
#include <QIcon>
#include <QLabel>
#include <QPixmap>

namespace lamp {

enum Colour { Green, Red, Yellow, Grey };

inline const char *path(Colour c)
{
    switch (c) {
    case Green: return ":/new/prefix1/LED_Green.png";
    case Red: return ":/new/prefix1/LED_Red.png";
    case Yellow: return ":/new/prefix1/LED_Yellow.png";
    case Grey: break;
    }
    return ":/new/prefix1/LED_Grey.png";
}

inline const QPixmap &pixmap(Colour c)
{
    static const QPixmap pixmaps[] = {QPixmap(path(Green)), QPixmap(path(Red)),
                                      QPixmap(path(Yellow)), QPixmap(path(Grey))};
    return pixmaps[c];
}

inline const QIcon &icon(Colour c)
{
    static const QIcon icons[] = {QIcon(pixmap(Green)), QIcon(pixmap(Red)), QIcon(pixmap(Yellow)),
                                  QIcon(pixmap(Grey))};
    return icons[c];
}

// Identity of the picture a label shows (0 for none).
inline qint64 shownKey(const QLabel *label)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return label->pixmap().cacheKey();
#else
    return label->pixmap(Qt::ReturnByValue).cacheKey();
#endif
}

inline bool shows(const QLabel *label, Colour c)
{
    return shownKey(label) == pixmap(c).cacheKey();
}

inline bool shows(const QAbstractButton *button, Colour c)
{
    return button->icon().cacheKey() == icon(c).cacheKey();
}

inline void show(QLabel *label, Colour c)
{
    if (!shows(label, c))
        label->setPixmap(pixmap(c));
}

inline void show(QAbstractButton *button, Colour c)
{
    if (!shows(button, c))
        button->setIcon(icon(c));
}

} // namespace lamp
