#include "Exception.h"

#include "Cp1251Literal.h"

EReadError::EReadError() : Exception(CP1251("Ошибка чтения потока")) {}

EWriteError::EWriteError() : Exception(CP1251("Ошибка записи потока")) {}
