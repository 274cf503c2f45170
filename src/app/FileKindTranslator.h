#pragma once

#include <QTranslator>

// The file dialog names the kind of each entry ("Folder", "%1 File", "Unknown") in a context of
// its own that Qt's Russian catalogue does not hold; the catalogue has the same words under the
// file dialog's context, where they were kept before. This translator looks them up there.
class FileKindTranslator : public QTranslator {
    Q_OBJECT
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override;
    bool isEmpty() const override { return false; }
};
