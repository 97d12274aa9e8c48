#include "drawing.h"

namespace Model {

class DrawingPrivate
{
public:
    QUuid m_copyId;
    QString m_name;
};

Drawing::Drawing()
    : d(std::make_unique<DrawingPrivate>())
{
}

Drawing::~Drawing() = default;

QString Drawing::name() const
{
    return d->m_name;
}

QUuid Drawing::createCopyId()
{
    d->m_copyId = QUuid::createUuid();
    return d->m_copyId;
}

QUuid Drawing::copyId() const
{
    return d->m_copyId;
}

void Drawing::setCopyId(QUuid id)
{
    d->m_copyId = id;
}

void Drawing::setName(const QString &name)
{
    d->m_name = name;
}

} // namespace Model
