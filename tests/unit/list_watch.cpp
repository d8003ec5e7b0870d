// Watches the user's lists call by call and checks Preload's numbering and the layouts it reaches.
#include "list_watch.h"

#include <ctype.h>

#include <winsim/control.h>
#include <winsim/machine_image.h>
#include <winsim/registry_control.h>

namespace {

const char* const preload_path = "HKEY_CURRENT_USER\\Keyboard Layout\\Preload";
const char* const substitutes_path = "HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes";

std::string lowered(std::string text)
{
    for (char& c : text)
        c = (char)tolower((unsigned char)c);
    return text;
}

// The values of one key as its export lists them: "name"="text", or "name"=<other type>.
std::vector<std::pair<std::string, std::string>> values_of(const char* path)
{
    std::vector<std::pair<std::string, std::string>> values;
    std::string text = winsim::reg_export(path);
    size_t start = text.find('\n');
    while (start != std::string::npos && start + 1 < text.size()) {
        size_t end = text.find('\n', start + 1);
        std::string line = text.substr(start + 1, end == std::string::npos ? std::string::npos
                                                                          : end - start - 1);
        start = end;
        if (line.empty() || line[0] == '[')
            break;  // the key's own values end at its first subkey
        size_t name_end = line.find("\"=");
        if (line[0] != '"' || name_end == std::string::npos)
            continue;
        std::string data = line.substr(name_end + 2);
        bool text_data = data.size() >= 2 && data.front() == '"' && data.back() == '"';
        values.push_back({lowered(line.substr(1, name_end - 1)),
                          text_data ? lowered(data.substr(1, data.size() - 2)) : ""});
    }
    return values;
}

list_watch* active_watch = nullptr;

void record_before_call()
{
    if (active_watch)
        active_watch->record();
}

// The next call after the one about to be made.
void watch_next_call()
{
    winsim::stop_before_call(winsim::call_log().size() + 2, record_before_call);
}

}  // namespace

bool operator==(const list_state& a, const list_state& b)
{
    return a.preload == b.preload && a.substitutes == b.substitutes &&
           a.user_software == b.user_software;
}

std::string reached_layout(const list_state& state, const std::string& data)
{
    for (const auto& value : state.substitutes)
        if (value.first == data)
            return value.second;
    return data;
}

std::set<std::string> layouts_read(const list_state& state)
{
    std::set<std::string> layouts;
    for (size_t place = 1;; place++) {
        const std::string name = std::to_string(place);
        const std::pair<std::string, std::string>* found = nullptr;
        for (const auto& value : state.preload)
            if (value.first == name)
                found = &value;
        if (!found)
            return layouts;
        if (!found->second.empty())
            layouts.insert(reached_layout(state, found->second));
    }
}

std::set<std::string> layouts_of_all_values(const list_state& state)
{
    std::set<std::string> layouts;
    for (const auto& value : state.preload)
        if (!value.second.empty())
            layouts.insert(reached_layout(state, value.second));
    return layouts;
}

list_state current_lists()
{
    return {values_of(preload_path), values_of(substitutes_path), "", ""};
}

void list_watch::start(images kept)
{
    states_.clear();
    images_ = kept;
    active_watch = this;
    record();
    winsim::stop_before_call(winsim::call_log().size() + 1, record_before_call);
}

// Whether the call before may have changed a key: only then is there a new state to record.
static bool last_call_writes()
{
    const std::vector<winsim::logged_call>& log = winsim::call_log();
    if (log.empty())
        return true;
    const std::string& call = log.back().call;
    return call == "RegSetValueExA" || call == "RegDeleteValueA" || call == "RegDeleteKeyA" ||
           call == "RegCreateKeyExA";
}

void list_watch::record()
{
    // Called before call n: from here the watch waits for call n + 1.
    if (active_watch == this)
        watch_next_call();
    if (!states_.empty() && active_watch == this && !last_call_writes())
        return;
    list_state state = current_lists();
    if (images_ == images::kept)
        state.user_software = winsim::reg_export("HKEY_CURRENT_USER\\Software");
    if (states_.empty() || !(states_.back() == state)) {
        if (images_ == images::kept)
            state.image = winsim::save_machine_image();
        states_.push_back(state);
    }
}

void list_watch::stop()
{
    winsim::stop_before_call(0, nullptr);
    active_watch = nullptr;
    record();
}

namespace {

std::string describe(const list_state& state)
{
    std::string text = "Preload";
    for (const auto& value : state.preload)
        text += " " + value.first + "=" + value.second;
    text += ", Substitutes";
    for (const auto& value : state.substitutes)
        text += " " + value.first + "=" + value.second;
    return text;
}

bool places_1_to_n(const list_state& state)
{
    std::set<std::string> names;
    for (const auto& value : state.preload)
        names.insert(value.first);
    if (names.empty())
        return false;
    for (size_t place = 1; place <= names.size(); place++)
        if (!names.count(std::to_string(place)))
            return false;
    return true;
}

}  // namespace

std::string first_broken_state(const std::vector<list_state>& states,
                               const std::set<std::string>& required, numbering rule)
{
    if (states.empty())
        return "no state recorded";
    const std::set<std::string> at_end = layouts_of_all_values(states.back());
    std::set<std::string> must_reach = required;
    for (size_t i = 0; i < states.size(); i++) {
        const list_state& state = states[i];
        const std::string where = "state " + std::to_string(i) + " of " +
                                  std::to_string(states.size()) + " (" + describe(state) + ")";
        if (rule == numbering::places_1_to_n && !places_1_to_n(state))
            return where + ": Preload's names are not 1 to n";
        std::set<std::string> reached =
            rule == numbering::places_1_to_n ? layouts_read(state) : layouts_of_all_values(state);
        for (const std::string& layout : reached)
            if (at_end.count(layout))
                must_reach.insert(layout);
        for (const std::string& layout : must_reach)
            if (!reached.count(layout))
                return where + ": " + layout + " is not reached";
    }
    return "";
}
