// Invariants of every plan and the list write over many reproducible random layout registries.
#include "list_watch.h"
#include "test_support.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "installer_flow.h"
#include "layout_registry/layout_plans.h"
#include "product_constants.h"

namespace {

#define LAYOUTS_KEY "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard Layouts"
#define PRELOAD_KEY "HKEY_CURRENT_USER\\Keyboard Layout\\Preload"
#define SUBSTITUTES_KEY "HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes"

const int CASES_PER_PLAN = 10000;

layout_inventory_state& inv = layout_inventory;

typedef std::vector<std::pair<std::string, std::string>> value_list;

struct layout_key {
    std::string name;
    std::string file;
    std::string id;  // empty: no Layout Id value
};

struct scenario {
    value_list preload;
    value_list substitutes;
    std::vector<layout_key> keys;
    std::string own_key;     // the key naming this build's DLL; empty when there is none
    std::string target_key;  // the key a removal aims at
};

enum plan_kind { install_new, install_existing, update, removal };

std::string upper(std::string text)
{
    for (char& c : text)
        c = (char)toupper((unsigned char)c);
    return text;
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = (char)tolower((unsigned char)c);
    return text;
}

// The name with the case of each letter turned, as other tools may write it.
std::string other_case(std::string text)
{
    for (char& c : text)
        c = (char)(isupper((unsigned char)c) ? tolower((unsigned char)c) : toupper((unsigned char)c));
    return text;
}

bool same_name(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string hex_name(char letter, unsigned number, const char* language)
{
    char name[32];
    snprintf(name, sizeof name, "%c%03x%s", letter, number, language);
    return name;
}

// ---- random registries ----

class scenario_generator {
public:
    explicit scenario_generator(unsigned seed) : random_(seed) {}

    scenario make(plan_kind kind)
    {
        scenario s;
        add_keys(s, kind);
        add_preload(s);
        add_substitutes(s);
        if (kind == install_existing)
            remove_references(s, s.own_key);
        if (kind == update)
            ensure_reference(s, s.own_key);
        if (kind == removal) {
            std::vector<std::string> custom;
            for (const layout_key& key : s.keys)
                if (key.name[0] == 'a' || key.name[0] == 'b')
                    if (key.name.compare(4, 4, "0407") == 0)
                        custom.push_back(key.name);
            s.target_key = pick(custom);
            if (chance(85))
                ensure_reference(s, s.target_key);
        }
        return s;
    }

private:
    std::mt19937 random_;
    std::vector<std::string> targets_;  // layout keys a substitution may lead to

    int below(int n) { return (int)(random_() % (unsigned)n); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T>
    const T& pick(const std::vector<T>& items) { return items[below((int)items.size())]; }

    std::string layout_id()
    {
        static const std::vector<std::string> ids = {"", "", "00c0", "0bff", "0c00", "0c01",
                                                     "0c02", "0fff", "1c01", "ffff"};
        return pick(ids);
    }

    // A custom German key number: mostly small, sometimes at the end of the eight-character range.
    unsigned key_number() { return chance(10) ? 0xfffu - (unsigned)below(2) : 1u + (unsigned)below(7); }

    bool has_key(const scenario& s, const std::string& name)
    {
        for (const layout_key& key : s.keys)
            if (same_name(key.name, name))
                return true;
        return false;
    }

    // Few keys keep a case cheap: the German standard key, sometimes a second German or
    // other-language key whose Layout Id may collide, a few custom German keys, and the
    // product's own key when the plan needs one.
    void add_keys(scenario& s, plan_kind kind)
    {
        s.keys.push_back({"00000407", "KBDGR.DLL", ""});
        if (chance(20))
            s.keys.push_back({"00010407", "KBDGR1.DLL", "0012"});
        if (chance(10))
            s.keys.push_back({"00000807", "KBDSG.DLL", ""});
        static const std::vector<std::string> other_ids = {"0c00", "0c01", "0c02", "0c03", "0c04"};
        if (chance(40))
            s.keys.push_back({"a0000409", "KBDO1.DLL", pick(other_ids)});
        if (chance(15))
            s.keys.push_back({"a0010409", "KBDO2.DLL", pick(other_ids)});
        int custom = below(3) + (kind == removal ? 1 : 0);
        for (int i = 0; i < custom; i++) {
            std::string name = hex_name(chance(50) ? 'a' : 'b', key_number(), "0407");
            if (!has_key(s, name))
                s.keys.push_back({name, "KBDC" + std::to_string(i) + ".DLL", layout_id()});
        }
        if (kind != install_new && (kind != removal || chance(50))) {
            std::string name;
            do
                name = hex_name('b', key_number(), "0407");
            while (has_key(s, name));
            s.own_key = name;
            s.keys.push_back({name, DLL_FILE_NAME, layout_id()});
        }
        targets_ = {"a0000409", "a0010409", "00010407", "00000409"};
        for (const layout_key& key : s.keys)
            if (key.name[0] == 'b' || (key.name[0] == 'a' && key.name.compare(4, 4, "0407") == 0))
                targets_.push_back(key.name);
    }

    void add_preload(scenario& s)
    {
        static const std::vector<std::string> odd_names = {"01", "0", "-1", "abc", " 3", "150",
                                                           "250", "100", "202", "07", "99"};
        static const std::vector<std::string> standard = {"00000407", "00000409", "00000807", "00000c07"};
        int count = 1 + below(5);
        std::vector<std::string> names;
        for (int n = 1; n <= count; n++)
            names.push_back(std::to_string(n));
        std::shuffle(names.begin(), names.end(), random_);
        for (std::string& name : names) {
            if (!chance(15))
                continue;
            const std::string& odd = pick(odd_names);
            if (std::find(names.begin(), names.end(), odd) == names.end())
                name = odd;
        }
        for (const std::string& name : names) {
            int r = below(100);
            std::string data;
            if (r < 35)
                data = pick(standard);
            else if (r < 80)
                data = hex_name('d', 1u + (unsigned)below(6), "0407");
            else if (r < 92)
                data = pick(targets_);
            else
                data = "00010407";
            // The same data twice, and names in another case, as Windows reads them alike.
            if (!s.preload.empty() && chance(8))
                data = pick(s.preload).second;
            else if (chance(10))
                data = other_case(data);
            s.preload.push_back({name, data});
        }
    }

    void set_substitute(scenario& s, const std::string& name, const std::string& data)
    {
        for (auto& value : s.substitutes)
            if (same_name(value.first, name)) {
                value.second = data;
                return;
            }
        s.substitutes.push_back({name, data});
    }

    void add_substitutes(scenario& s)
    {
        for (const auto& entry : s.preload) {
            const std::string& data = entry.second;
            if (tolower((unsigned char)data[0]) == 'd' ? chance(90)
                                                       : (data.compare(0, 5, "00000") == 0 && chance(25)))
                set_substitute(s, chance(15) ? other_case(data) : data, pick(targets_));
        }
        if (chance(30))
            set_substitute(s, hex_name('d', 7u + (unsigned)below(3), "0407"), pick(targets_));
    }

    // The installer takes over a registered key only while no list names it.
    void remove_references(scenario& s, const std::string& key)
    {
        for (auto& entry : s.preload)
            if (same_name(entry.second, key))
                entry.second = "00000409";
        for (auto& value : s.substitutes)
            if (same_name(value.second, key))
                value.second = "a0000409";
    }

    // Makes the lists name `key`: mostly through a substitution, sometimes only directly or
    // only through a Substitutes value that no Preload entry uses.
    void ensure_reference(scenario& s, const std::string& key)
    {
        for (const auto& value : s.substitutes)
            if (same_name(value.second, key))
                return;
        for (const auto& entry : s.preload)
            if (same_name(entry.second, key))
                return;
        int r = below(100);
        auto& entry = s.preload[below((int)s.preload.size())];
        if (r < 80) {
            if (entry.second.compare(0, 5, "00000") != 0)
                entry.second = hex_name('d', 1u + (unsigned)below(6), "0407");
            set_substitute(s, entry.second, key);
        } else if (r < 90) {
            entry.second = key;
        } else {
            set_substitute(s, "d0090407", key);
        }
    }
};

std::string reg_text(const scenario& s)
{
    std::string text = "[" PRELOAD_KEY "]\n";
    for (const auto& value : s.preload)
        text += "\"" + value.first + "\"=\"" + value.second + "\"\n";
    text += "\n[" SUBSTITUTES_KEY "]\n";
    for (const auto& value : s.substitutes)
        text += "\"" + value.first + "\"=\"" + value.second + "\"\n";
    text += "\n[" LAYOUTS_KEY "]\n\n";
    for (const layout_key& key : s.keys) {
        text += "[" LAYOUTS_KEY "\\" + key.name + "]\n\"Layout File\"=\"" + key.file + "\"\n";
        if (!key.id.empty())
            text += "\"Layout Id\"=\"" + key.id + "\"\n";
        text += "\n";
    }
    return text;
}

// ---- reading the registry back ----

value_list read_values(const char* path)
{
    value_list values;
    HKEY key = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; index++) {
        char name[MAX_PATH];
        BYTE data[MAX_PATH];
        DWORD name_size = sizeof name;
        DWORD data_size = sizeof data - 1;
        DWORD type = 0;
        if (RegEnumValueA(key, index, name, &name_size, 0, &type, data, &data_size) != ERROR_SUCCESS)
            break;
        data[data_size] = 0;
        values.push_back({name, (const char*)data});
    }
    RegCloseKey(key);
    return values;
}

struct user_lists {
    value_list preload;
    value_list substitutes;
};

user_lists read_user_lists()
{
    return {read_values("Keyboard Layout\\Preload"), read_values("Keyboard Layout\\Substitutes")};
}

// What Windows loads for a Preload data: the Substitutes value of that name, else the data.
std::string resolve(const value_list& substitutes, const std::string& data)
{
    for (const auto& value : substitutes)
        if (same_name(value.first, data))
            return value.second;
    return data;
}

const std::string* value_named(const value_list& values, const std::string& name)
{
    for (const auto& value : values)
        if (value.first == name)
            return &value.second;
    return nullptr;
}

// The value of that name as Windows finds it, whatever the case.
const std::string* value_named_in_any_case(const value_list& values, const std::string& name)
{
    for (const auto& value : values)
        if (same_name(value.first, name))
            return &value.second;
    return nullptr;
}

// ---- the invariants ----

class invariant_run {
public:
    invariant_run(plan_kind kind, const scenario& s, const user_lists& before)
        : kind_(kind), s_(s), before_(before)
    {
    }

    // The layouts the user's entries lead to (upper case), leaving out the entries substituted by
    // `removed` (a key name, or empty). A substitution name without a Substitutes value names no
    // layout, and may come to lead elsewhere.
    std::vector<std::string> reached_layouts(const std::string& removed) const
    {
        std::vector<std::string> layouts;
        for (size_t i = 0; i < before_.preload.size(); i++) {
            const std::string* substitute = scan_substitute(i);
            if (!removed.empty() && substitute && same_name(*substitute, removed))
                continue;
            std::string layout = resolve(before_.substitutes, before_.preload[i].second);
            if (layout[0] != 'd')  // the generator's substitution names; no layout key has one
                layouts.push_back(upper(layout));
        }
        return layouts;
    }

    // The scan's substitute of entry i: the Substitutes value its data names, whatever the case,
    // as Windows finds it for every entry.
    const std::string* scan_substitute(size_t i) const
    {
        for (const auto& value : before_.substitutes)
            if (same_name(value.first, before_.preload[i].second))
                return &value.second;
        return nullptr;
    }

    // How many entries the scan gives `key` as their substitute.
    size_t count_substituted_by(const std::string& key) const
    {
        size_t count = 0;
        for (size_t i = 0; i < before_.preload.size(); i++) {
            const std::string* substitute = scan_substitute(i);
            count += substitute && same_name(*substitute, key) ? 1 : 0;
        }
        return count;
    }

    // Last entry whose scan substitute is `key`, or -1.
    int last_substituted_by(const std::string& key) const
    {
        int found = -1;
        for (size_t i = 0; i < before_.preload.size(); i++) {
            const std::string* substitute = scan_substitute(i);
            if (substitute && same_name(*substitute, key))
                found = (int)i;
        }
        return found;
    }

    std::string check(bool planned, bool written)
    {
        after_ = read_user_lists();
        switch (kind_) {
        case install_new:
        case install_existing:
            return check_install(planned, written);
        case update:
            return check_update(planned, written);
        case removal:
            return check_removal(planned, written);
        }
        return "unknown plan";
    }

    // Every state of the change: with names 1 to n at the start, Preload keeps them and its
    // places reach the user's layouts after every write; with other names every value counts.
    std::string check_every_write(const std::vector<list_state>& states) const
    {
        std::set<std::string> required;
        for (const std::string& layout : reached_layouts(kind_ == removal ? s_.target_key : ""))
            required.insert(lower(layout));
        std::set<std::string> names;
        for (const auto& value : before_.preload)
            names.insert(value.first);
        bool places = !names.empty();
        for (size_t place = 1; place <= names.size(); place++)
            places = places && names.count(std::to_string(place)) > 0;
        std::string failure = first_broken_state(
            states, required, places ? numbering::places_1_to_n : numbering::any_names);
        return failure.empty() ? "" : "during the change: " + failure;
    }

private:
    plan_kind kind_;
    const scenario& s_;
    user_lists before_;
    user_lists after_;

    bool key_exists(const std::string& name) const
    {
        for (const layout_key& key : s_.keys)
            if (same_name(key.name, name))
                return true;
        return false;
    }

    bool layout_id_used(unsigned id) const
    {
        for (const layout_key& key : s_.keys)
            if (!key.id.empty() && (strtoul(key.id.c_str(), nullptr, 16) & 0xfff) == (id & 0xfff))
                return true;
        return false;
    }

    bool unchanged() const
    {
        return after_.preload == before_.preload && after_.substitutes == before_.substitutes;
    }

    // Every layout in `expected` is reached by its own entry of the new Preload.
    std::string check_layouts_reached(std::vector<std::string> expected) const
    {
        std::vector<std::string> reached;
        for (const auto& entry : after_.preload)
            reached.push_back(upper(resolve(after_.substitutes, entry.second)));
        for (const std::string& layout : expected) {
            auto at = std::find(reached.begin(), reached.end(), layout);
            if (at == reached.end())
                return "the user's layout " + layout + " is no longer reached";
            reached.erase(at);
        }
        return "";
    }

    // The registry holds exactly the planned Preload (in the order its places came into being,
    // which is not the plan's); every planned substitution has its own Substitutes value, and no
    // two records shared a name.
    std::string check_written_plan() const
    {
        value_list planned;
        for (int i = 0; i < inv.newpreloadcount; i++)
            planned.push_back({inv.new_preload_list[i].name, inv.new_preload_list[i].data});
        value_list written = after_.preload;
        std::sort(planned.begin(), planned.end());
        std::sort(written.begin(), written.end());
        if (written != planned)
            return "Preload is not the planned list";
        if (inv.keep_substitutes)
            return after_.substitutes == before_.substitutes ? "" : "Substitutes changed";
        if ((int)after_.substitutes.size() != inv.newsubstitutecount)
            return "two Substitutes records share a name";
        for (int i = 0; i < inv.newpreloadcount; i++) {
            const preload_entry& record = inv.new_preload_list[i];
            if (!record.substitute)
                continue;
            const std::string* value = value_named_in_any_case(after_.substitutes, record.data);
            if (!value || *value != record.substitute)
                return std::string("substitution name ") + record.data + " has no Substitutes value";
        }
        return "";
    }

    std::string check_place_one(const std::string& key) const
    {
        const std::string* first = value_named(after_.preload, "1");
        if (!first || !same_name(resolve(after_.substitutes, *first), key))
            return "the product's layout " + key + " is not at place 1";
        return "";
    }

    std::string check_new_key() const
    {
        std::string name = inv.layout_key_name;
        std::string id = inv.layout_id_text;
        bool name_ok = name.size() == 8 && name[0] == 'b' && name.compare(4, 4, "0407") == 0 &&
                       strspn(name.c_str() + 1, "0123456789abcdef") >= 3;
        if (!name_ok || key_exists(name))
            return "key name " + name + " is malformed or in use";
        unsigned id_value = (unsigned)strtoul(id.c_str(), nullptr, 16);
        if (id.size() != 4 || strspn(id.c_str(), "0123456789abcdef") != 4 ||
            layout_id_used(id_value) || id_value < 0xc00 || id_value > 0xfff)
            return "Layout Id " + id + " is malformed, aliases another or lies outside 0c00..0fff";
        // Without a collision the choice is the German family's largest + 1.
        unsigned max_key = 0, max_id = 0;
        for (const layout_key& key : s_.keys) {
            std::string language = key.name.substr(4, 4);
            if (language != "0407" && language != "0807" && language != "0C07" && language != "1407")
                continue;
            max_key = std::max(max_key, (unsigned)strtoul(key.name.substr(1, 3).c_str(), nullptr, 16));
            if (!key.id.empty())
                max_id = std::max(max_id, (unsigned)strtoul(key.id.c_str(), nullptr, 16));
        }
        unsigned next_id = std::max(max_id + 1, 0xc00u);
        if (max_key + 1 <= 0xfff && name != hex_name('b', max_key + 1, "0407"))
            return "key name " + name + " is not the one after the largest";
        if (next_id <= 0xfff && !layout_id_used(next_id) && id_value != next_id)
            return "Layout Id " + id + " is not the one after the largest";
        return "";
    }

    std::string check_install(bool planned, bool written) const
    {
        // With at most five entries and a few keys a name, an id and a record are always free.
        if (!planned || !written)
            return std::string("install failed: ") + inv.error_text;
        if (after_.preload.size() != before_.preload.size() + 1)
            return "a Preload entry was lost";
        std::string failure = check_written_plan();
        if (!failure.empty())
            return failure;
        std::vector<std::string> expected = reached_layouts("");
        expected.push_back(upper(inv.layout_key_name));
        failure = check_layouts_reached(expected);
        if (failure.empty())
            failure = check_place_one(inv.layout_key_name);
        if (failure.empty() && kind_ == install_new)
            failure = check_new_key();
        if (failure.empty() && kind_ == install_existing && inv.layout_key_name != s_.own_key)
            failure = "the registered key was not taken over";
        return failure;
    }

    // The update leaves the lists alone exactly when no entry is substituted by the product's
    // key, or the last such entry is named 1, has a non-canonical name or a number below 1.
    bool update_moves_nothing() const
    {
        int found = last_substituted_by(s_.own_key);
        if (found == -1)
            return true;
        const std::string& name = before_.preload[found].first;
        LONG number = parse_decimal(name.c_str());
        return number <= 1 || std::to_string(number) != name;
    }

    std::string check_update(bool planned, bool written) const
    {
        if (!planned || !written)
            return std::string("update failed: ") + inv.error_text;
        if (update_moves_nothing()) {
            if (!inv.layout_not_listed && !inv.preload_unchanged)
                return "the update planned a move that is not needed";
            return unchanged() ? "" : "the lists changed although nothing was to move";
        }
        if (inv.layout_not_listed || inv.preload_unchanged)
            return "the update did not move the layout";
        if (after_.preload.size() != before_.preload.size())
            return "a Preload entry was lost";
        std::string failure = check_written_plan();
        if (!failure.empty())
            return failure;
        failure = check_layouts_reached(reached_layouts(""));
        return failure.empty() ? check_place_one(s_.own_key) : failure;
    }

    std::string check_removal(bool planned, bool written) const
    {
        if (!planned)
            return std::string("removal failed: ") + inv.error_text;
        int removed = last_substituted_by(s_.target_key);
        if (removed == -1) {
            if (!inv.layout_not_listed || !written)
                return "an unlisted layout was planned for removal";
            return unchanged() ? "" : "the lists changed although the layout was not listed";
        }
        size_t removed_count = count_substituted_by(s_.target_key);
        if (before_.preload.size() == removed_count) {
            if (written || strcmp(inv.error_text, "INTERNER FEHLER: newpreloadcount ist 0!") != 0)
                return "removing the only entry was not refused";
            return unchanged() ? "" : "the lists changed although the write was refused";
        }
        if (!written)
            return std::string("removal write failed: ") + inv.error_text;
        if (after_.preload.size() != before_.preload.size() - removed_count)
            return "Preload lost an entry besides the removed ones";
        std::string failure = check_written_plan();
        if (!failure.empty())
            return failure;
        std::vector<std::string> names;
        for (const auto& entry : after_.preload)
            names.push_back(entry.first);
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        for (size_t i = 0; i < names.size(); i++)
            if (names[i] != std::to_string(i + 1))
                return "Preload names are not 1 to n";
        return check_layouts_reached(reached_layouts(s_.target_key));
    }
};

// ---- the runs ----

// Runs one case the way the installer or uninstaller does. Returns the violation found, with
// the case's registry as .reg text, or the empty text.
std::string run_case(plan_kind kind, const scenario& s, int case_number)
{
    // Replacing the two trees is cheaper than a reset of the whole simulated machine.
    reset_layout_inventory();
    winsim::clear_call_log();
    std::string text = reg_text(s);
    std::string failure;
    if (!winsim::reg_import(("Windows Registry Editor Version 5.00\n\n[-" PRELOAD_KEY "]\n[-" SUBSTITUTES_KEY
                             "]\n[-" LAYOUTS_KEY "]\n" + text).c_str(), &failure))
        failure = "seed rejected: " + failure;
    if (kind == removal)
        strcpy(inv.target_key_name, s.target_key.c_str());
    else
        strcpy(inv.own_layout_file, OWN_LAYOUT_SEARCH_NAME);
    if (failure.empty() && !scan_layout_inventory())
        failure = std::string("scan failed: ") + inv.error_text;

    bool planned = false;
    if (failure.empty() && kind == removal) {
        planned = plan_layout_removal();
    } else if (failure.empty()) {
        bool registered = inv.own_layout_index != -1;
        if (registered != (kind != install_new) || inv.own_layout_in_use != (kind == update))
            failure = "the scan does not see the case as generated";
        else
            planned = plan_installation();
    }
    if (failure.empty()) {
        // Every fourth case of each half is watched write by write; watching all would triple
        // the time.
        const bool watched = case_number % 8 < 2;
        list_watch watch;
        if (watched)
            watch.start();
        bool written = write_preload_substitutes();
        if (watched)
            watch.stop();
        invariant_run run(kind, s, {s.preload, s.substitutes});
        failure = run.check(planned, written);
        if (failure.empty() && watched)
            failure = run.check_every_write(watch.states());
    }
    if (failure.empty())
        return failure;
    return "case " + std::to_string(case_number) + ": " + failure + "\n" + text;
}

// Every case is generated in both halves, so that its number and registry stay the same: each
// half is a test of its own, and CTest runs them in parallel.
std::string run_half(plan_kind kind, unsigned seed, int half)
{
    scenario_generator generator(seed);
    for (int i = 0; i < CASES_PER_PLAN; i++) {
        scenario s = generator.make(kind);
        if (i % 2 != half)
            continue;
        std::string failure = run_case(kind, s, i);
        if (!failure.empty())
            return failure;
    }
    return "";
}

// Each kind of plan over its own seed, each half of its cases a test of its own.
struct plan_cases {
    const char* name;
    plan_kind kind;
    unsigned seed;
    int half;
};

const plan_cases all_plan_cases[] = {
    {"install_of_a_new_key_even_cases", install_new, 1001, 0},
    {"install_of_a_new_key_odd_cases", install_new, 1001, 1},
    {"install_over_a_registered_key_not_in_use_even_cases", install_existing, 1002, 0},
    {"install_over_a_registered_key_not_in_use_odd_cases", install_existing, 1002, 1},
    {"update_of_a_listed_layout_even_cases", update, 1003, 0},
    {"update_of_a_listed_layout_odd_cases", update, 1003, 1},
    {"removal_even_cases", removal, 1004, 0},
    {"removal_odd_cases", removal, 1004, 1},
};

// Names the cases in test lists, in place of their bytes.
void PrintTo(const plan_cases& cases, std::ostream* out)
{
    *out << cases.name;
}

class plan_invariants : public kb_test, public ::testing::WithParamInterface<plan_cases> {};

TEST_P(plan_invariants, hold)
{
    std::string failure = run_half(GetParam().kind, GetParam().seed, GetParam().half);
    EXPECT_TRUE(failure.empty()) << failure;
}

INSTANTIATE_TEST_SUITE_P(plans, plan_invariants, ::testing::ValuesIn(all_plan_cases),
                         [](const ::testing::TestParamInfo<plan_cases>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
