#pragma once

#include "platform/processlist.h"

namespace zelvano::test {

class FakeProcessList final : public ProcessList
{
public:
    explicit FakeProcessList(QStringList names) : m_names(std::move(names)) {}
    QStringList names() const override { return m_names; }

private:
    QStringList m_names;
};

} // namespace zelvano::test
