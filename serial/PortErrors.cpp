#include "BCPort.h"

const std::array<const char*, 16> PortMessages = {
    "",
    "Попытка открыть несуществующий COM-порт",
    "Порт занят другой программой",
    "Ошибка записи в порт",
    "Ошибка чтения из порта",
    "Недопустимый параметр Async",
    "Ошибка функции PurgeComm",
    "Не удалось получить статус асинхронной операции",
    "Ошибка функции SetCommState",
    "Ошибка функции SetCommTimeouts",
    "Ошибка функции SetupComm",
    "Ошибка функции ClearCommError",
    "Ошибка функции GetCommModemStatus",
    "Ошибка функции EscapeCommFunction",
    "Нельзя менять свойство, пока порт открыт",
    "Ошибка обращения к системному реестру",
};

void RaiseComPort(int N) { throw EComPort(PortMessages.at(static_cast<std::size_t>(N))); }
