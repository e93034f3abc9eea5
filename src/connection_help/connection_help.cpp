#include "connection_help/connection_help.h"

#include <algorithm>

namespace velkon {

namespace {

constexpr const char* kFixCommand = "sudo usermod -aG dialout $USER";

bool has_device_port(const std::vector<PortEntry>& found) {
    return std::any_of(found.begin(), found.end(), [](const PortEntry& p) { return !p.console; });
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& name : names) out += (out.empty() ? "" : ", ") + name;
    return out;
}

std::string fix_command_for(const std::string& group) {
    std::string command = kFixCommand;
    command.replace(command.find("dialout"), 7, group);
    return command;
}

StatusHint refusal_hint(const PortEntry& port, const PortAccess& access) {
    if (access.group.empty()) {
        return {"Нет прав на порт " + port.name,
                "Порт " + port.name +
                    " не открывается с правами вашего пользователя, и вступление в группу не "
                    "поможет. Обратитесь к администратору компьютера."};
    }
    if (access.relogin_needed) {
        return {"Нет прав на порт " + port.name + ": войдите в систему заново",
                "Вы уже добавлены в группу " + access.group +
                    ", но она действует только с нового входа в систему. Выйдите из сеанса и "
                    "войдите снова (или перезагрузите компьютер)."};
    }
    return {"Нет прав на порт " + port.name + ": нужна группа " + access.group,
            "Порт " + port.name + " открывают только члены группы " + access.group +
                ". Выполните в терминале\n" + fix_command_for(access.group) +
                "\nи войдите в систему заново."};
}

}  // namespace

StatusHint ConnectionHelp::scan_hint(const std::vector<PortEntry>& found, int selected) {
    if (!has_device_port(found)) {
        return {"Порт не найден: подключите устройство",
                "Подключите блок кабелем к порту RS-232 компьютера или через USB-адаптер. "
                "Новый порт появится в списке сам, перезапускать программу не нужно."};
    }
    if (selected < 0 || selected >= static_cast<int>(found.size())) return {};
    const PortEntry& port = found[static_cast<std::size_t>(selected)];
    if (port.console) {
        return {port.name + " — консоль компьютера",
                "Порт " + port.name +
                    " — системная консоль этого компьютера, а не порт устройства. Выберите "
                    "другой порт."};
    }
    const PortAccess access = ports_.access(port);
    if (access.verdict == PortAccess::Verdict::NoRights) return refusal_hint(port, access);
    return {};
}

std::optional<std::string> ConnectionHelp::start_notice() {
    // Ports by the group that would let the user in, in the order first met.
    std::vector<std::pair<std::string, std::vector<std::string>>> by_group;
    bool relogin_needed = false;
    for (const PortEntry& port : ports_.list()) {
        if (port.console) continue;
        const PortAccess access = ports_.access(port);
        if (access.verdict != PortAccess::Verdict::NoRights || access.group.empty()) continue;
        relogin_needed = relogin_needed || access.relogin_needed;
        auto it = std::find_if(by_group.begin(), by_group.end(),
                               [&](const auto& g) { return g.first == access.group; });
        if (it == by_group.end()) it = by_group.insert(by_group.end(), {access.group, {}});
        it->second.push_back(port.name);
    }
    if (by_group.empty()) return std::nullopt;

    std::string text;
    for (const auto& [group, names] : by_group) {
        text += (names.size() == 1 ? "Порт " + names.front() + " открывают"
                                   : "Порты " + joined(names) + " открывают") +
                " только члены группы " + group + ".\n";
    }
    if (relogin_needed) {
        return text +
               "Вы уже добавлены в группу, но она действует только с нового входа в систему: "
               "выйдите из сеанса и войдите снова (или перезагрузите компьютер).";
    }
    text += "Программа не сможет их открыть. Чтобы это исправить, выполните в терминале\n\n";
    for (const auto& group : by_group) text += "    " + fix_command_for(group.first) + "\n";
    return text + "\nи войдите в систему заново (выйдите из сеанса или перезагрузите компьютер).";
}

std::optional<std::string> ConnectionHelp::open_question(const std::string& entry) {
    for (const PortEntry& port : ports_.list()) {
        if (port.name != entry || !port.console) continue;
        return "Порт " + entry +
               " — системная консоль этого компьютера, а не порт устройства. Если его открыть, "
               "консоль может перестать работать.\nОткрыть порт " +
               entry + " всё равно?";
    }
    return std::nullopt;
}

}  // namespace velkon
