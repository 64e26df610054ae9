#pragma once

#include "runtime/Cp1251Literal.h"

#include <string>

// The installer's texts, held in Windows-1251 like every text it shows.
namespace texts {

inline std::string ApplicationTitle() {
    return CP1251("Установка корневых сертификатов УЦ ЗАО \"ЛАРКОН\"");
}
inline std::string WindowCaption() {
    return CP1251("Установка корневых сертификатов в хранилище Windows");
}
inline std::string ButtonCaption() {
    return CP1251("Установить корневые сертификаты в хранилище Windows");
}
inline std::string ErrorCaption() {
    return CP1251("Ошибка");
}
inline std::string InstallationDone() {
    return CP1251("Установка произведена !");
}
inline std::string RemovalDone() {
    return CP1251("Удаление произведено !");
}
inline std::string BundleMissing() {
    return CP1251("Не найдена информация о корневых сертификатах");
}

} // namespace texts
