#pragma once

#include <QTest>

// One row of a test table, named after its case; C strings go into QString
// columns. A call keeps a row on one line where "<<" chains of literals break.
template<typename... Values>
void addCase(const char *name, const Values &...values)
{
    (QTest::newRow(name) << ... << values);
}
