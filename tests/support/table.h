// Data-table helpers for QtTest rows.
#pragma once
#include <QtTest>

// The columns of a data table: columns<int, QString>({"code", "text"}).
template <class... T> void columns(std::initializer_list<const char *> names)
{
    auto name = names.begin();
    (QTest::addColumn<T>(*name++), ...);
}

// A column of the current data row: data<int>("code").
template <class T> const T &data(const char *column)
{
    return *static_cast<const T *>(QTest::qData(column, qMetaTypeId<T>()));
}
