#include "cli/unit_outcome.h"

namespace velkon::cli {

namespace {

constexpr OutcomeRow kOutcomes[] = {
    {UnitOutcome::Written, "written", "записано",
     "трекер подтвердил запись и хранит записанное (проверено чтением)"},
    {UnitOutcome::WrittenUnchecked, "written-unchecked", "записано, не проверено",
     "трекер подтвердил запись, но конфигурация не прочитана обратно"},
    {UnitOutcome::Differs, "differs", "различия",
     "трекер подтвердил запись, но хранит не то, что записано"},
    {UnitOutcome::NotWritten, "not-written", "не записано",
     "трекер не подтвердил запись и хранит прежнее"},
    {UnitOutcome::Read, "read", "прочитано", "IMEI, SIM и конфигурация прочитаны"},
    {UnitOutcome::Unchanged, "unchanged", "без изменений",
     "пробный прогон (--dry-run): трекер уже хранит эти значения"},
    {UnitOutcome::WouldChange, "would-change", "будет изменено",
     "пробный прогон (--dry-run): запись изменила бы названные значения"},
    {UnitOutcome::NoAnswer, "no-answer", "не отвечает", "ответа нет"},
    {UnitOutcome::Damaged, "damaged", "ответ повреждён",
     "ответ пришёл целиком, но не сходится контрольный байт или длина"},
    {UnitOutcome::TooSlow, "too-slow", "не успел ответить",
     "ответ не пришёл целиком за время ожидания: увеличьте --timeout"},
    {UnitOutcome::WrongAnswer, "wrong-answer", "ответ не на тот запрос",
     "устройство ответило не на этот запрос: к порту подключено не то устройство"},
    {UnitOutcome::PortError, "port-error", "ошибка порта",
     "запись в порт не удалась: адаптер отключён или порт закрыт"},
    {UnitOutcome::PortNotFound, "port-not-found", "порт не найден",
     "такого порта нет в списке портов"},
    {UnitOutcome::PortUnavailable, "port-unavailable", "порт недоступен",
     "порт не открылся: занят, нет прав или устройства"},
    {UnitOutcome::Console, "console", "консоль",
     "порт — консоль системы; открывается только с --console"},
    {UnitOutcome::Refused, "refused", "отказано",
     "значение профиля для этого трекера не годится; ничего не отправлено"},
    {UnitOutcome::NoValues, "no-values", "нет значений",
     "в таблице значений нет строки для этого трекера; ничего не отправлено"},
    {UnitOutcome::DuplicateImei, "duplicate-imei", "два блока с одним IMEI",
     "этот IMEI сообщили два блока или больше; ни один из них не записан (у fleet read -o — "
     "профиль не сохранён)"},
    {UnitOutcome::DuplicateValue, "duplicate-value", "повтор значения",
     "заполненное значение device_id (или ключа --unique) совпало у двух трекеров или больше; "
     "ни один из них не записан"},
    {UnitOutcome::NotSaved, "not-saved", "не сохранено",
     "профиль не сохранён: файл в этой работе уже записан"},
    {UnitOutcome::Interrupted, "interrupted", "прервано",
     "работа прервана сигналом; сообщение говорит, дошёл ли кадр записи"},
    {UnitOutcome::Unfinished, "unfinished", "не закончено",
     "трекер ещё в работе (отчёт пишется по ходу работы)"},
};

}  // namespace

std::span<const OutcomeRow> outcome_table() {
    return kOutcomes;
}

const OutcomeRow& outcome_row(UnitOutcome outcome) {
    for (const OutcomeRow& row : kOutcomes) {
        if (row.outcome == outcome) return row;
    }
    return kOutcomes[0];  // every outcome has a row: the table test sees to it
}

}  // namespace velkon::cli
