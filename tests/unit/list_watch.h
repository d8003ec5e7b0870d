// Watches the user's Preload and Substitutes before every simulated call, and checks each state: Preload's places 1 to n without a gap, every layout of the user reached.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

// The two keys at one moment; names and layouts in lower case.
struct list_state {
    // Every Preload value in enumeration order: name and text data ("" for a value of
    // another type, which names no layout).
    std::vector<std::pair<std::string, std::string>> preload;
    std::vector<std::pair<std::string, std::string>> substitutes;
    // With machine images, also the user's keys below Software (where the change keeps its
    // journal), so that a state of the journal alone counts as one.
    std::string user_software;
    // The machine at that moment, when the watch keeps images.
    std::string image;
};
bool operator==(const list_state& a, const list_state& b);

// The layout a Preload data reaches: its Substitutes value's data, or the data itself.
std::string reached_layout(const list_state& state, const std::string& data);
// The layouts of the values Windows reads: "1", "2", … up to the first missing place.
std::set<std::string> layouts_read(const list_state& state);
// The layouts of every Preload value, whatever its name.
std::set<std::string> layouts_of_all_values(const list_state& state);

list_state current_lists();

// Records the lists from start() on: at once, before every simulated call (so after every
// write), and at stop(). States equal to the one before are left out.
class list_watch {
public:
    // With machine images, each state also holds the whole machine, to start a run from it.
    enum class images { none, kept };
    void start(images kept = images::none);
    void stop();
    const std::vector<list_state>& states() const { return states_; }

    // Called by the simulation before each call.
    void record();

private:
    std::vector<list_state> states_;
    images images_ = images::none;
};

// What every state must show. places_1_to_n: Preload's names are exactly "1" to "n" (n ≥ 1)
// and the values Windows reads reach the layouts; any_names (a user whose own names are not
// that): every value counts, whatever its name.
enum class numbering { places_1_to_n, any_names };

// The first state that breaks the rule, described, or "". The layouts that must be reached:
// `required` (lower case) in every state, and a layout that the last state reaches from the
// first state that reaches it on.
std::string first_broken_state(const std::vector<list_state>& states,
                               const std::set<std::string>& required, numbering rule);
