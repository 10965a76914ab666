#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

// The colour of a learner's picture, the same for every spelling of one learner's name (see
// learnerName::key) and in every run: one of ten colours that white text stands out on.
QColor learnerColour(const QString &name);

// A learner's picture: the first character of the name on a colour chosen by the name. The
// pixmap is size x size device-independent pixels, drawn at the given device pixel ratio.
QPixmap learnerAvatar(const QString &name, int size, qreal devicePixelRatio = 1.0);

// The picture of the button that adds a learner: a plus on a grey disc, like a learner's.
QPixmap newLearnerAvatar(int size, qreal devicePixelRatio = 1.0);
