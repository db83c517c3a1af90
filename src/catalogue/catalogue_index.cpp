#include "catalogue/catalogue_index.h"

#include <algorithm>
#include <sstream>
#include <string_view>
#include <unordered_map>

#include "catalogue/catalogue_html.h"

namespace tarnvel::catalogue {
namespace {

// Hides the rows that fail the supplier, the family or any typed word (case
// ignored), and says how many are shown. Rows carry their supplier and
// family as numbers (data-s, data-f; family 0: none) so that no name has to
// be compared in script. Keys typed while a long list is laid out again are
// taken together: one pass follows them all.
constexpr std::string_view kScript = R"(<script>
(function () {
  var rows = Array.prototype.slice.call(document.querySelectorAll('#grades tbody tr'));
  var texts = rows.map(function (row) { return row.textContent.toLowerCase(); });
  var text = document.getElementById('filter-text');
  var supplier = document.getElementById('filter-supplier');
  var family = document.getElementById('filter-family');
  var shown = document.getElementById('shown');
  function apply() {
    var words = text.value.toLowerCase().split(/\s+/).filter(Boolean);
    var s = supplier.value, f = family.value, count = 0;
    for (var i = 0; i < rows.length; i++) {
      var row = rows[i];
      var ok = (s === '' || row.getAttribute('data-s') === s) &&
               (f === '' || row.getAttribute('data-f') === f);
      for (var w = 0; ok && w < words.length; w++) ok = texts[i].indexOf(words[w]) >= 0;
      row.hidden = !ok;
      if (ok) count++;
    }
    shown.textContent = count + ' of ' + rows.length + ' grades shown';
  }
  var pending = false;
  function later() {
    if (pending) return;
    pending = true;
    setTimeout(function () { pending = false; apply(); }, 0);
  }
  text.addEventListener('input', later);
  supplier.addEventListener('change', later);
  family.addEventListener('change', later);
  window.addEventListener('pageshow', later);
  apply();
})();
</script>
)";

// Distinct names in order of their first row, and each row's number among
// them (from 1; 0 for an empty family).
struct Numbered {
    std::vector<std::string> names;
    std::vector<int> of_row;
};

template <typename Field>
Numbered NumberNames(const std::vector<IndexRow>& rows, Field field) {
    Numbered numbered;
    std::unordered_map<std::string, int> numbers;
    numbered.of_row.reserve(rows.size());
    for (const IndexRow& row : rows) {
        const std::string& name = row.*field;
        int number = 0;
        if (!name.empty() || field == &IndexRow::supplier) {
            const auto [at, added] = numbers.emplace(name, numbers.size() + 1);
            if (added) numbered.names.push_back(name);
            number = at->second;
        }
        numbered.of_row.push_back(number);
    }
    return numbered;
}

// A selector whose options are the names sorted, each valued by its number.
void Selector(const char* id, const char* label, const Numbered& numbered, bool none_option,
              std::ostream& out) {
    std::vector<int> order(numbered.names.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::ranges::sort(order, [&](int a, int b) { return numbered.names[a] < numbered.names[b]; });
    out << "<label>" << label << " <select id=\"" << id << "\"><option value=\"\">all</option>";
    if (none_option) out << "<option value=\"0\">(none)</option>";
    for (int i : order)
        out << "<option value=\"" << i + 1 << "\">" << HtmlText(numbered.names[i]) << "</option>";
    out << "</select></label>\n";
}

void Heading(const IndexHeading& heading, std::size_t count, std::size_t suppliers,
             std::ostream& out) {
    out << "<h1>Material database " << HtmlText(heading.database) << "</h1>\n<p>";
    if (heading.version) out << "Version " << HtmlText(*heading.version) << ". ";
    out << count << " grades of " << suppliers << " suppliers.";
    if (heading.unreadable > 0)
        out << " <span class=\"warning\">" << heading.unreadable
            << " grades could not be read and are not listed.</span>";
    out << "</p>\n";
}

}  // namespace

std::string IndexHtml(const std::vector<IndexRow>& rows, const IndexHeading& heading) {
    const Numbered suppliers = NumberNames(rows, &IndexRow::supplier);
    const Numbered families = NumberNames(rows, &IndexRow::family);
    std::ostringstream out;
    out << PageStart("Material database " + heading.database, PageScript::kInline);
    Heading(heading, rows.size(), suppliers.names.size(), out);
    out << "<div class=\"filters\">\n<label>Find <input type=\"search\" id=\"filter-text\" "
           "autocomplete=\"off\" placeholder=\"words of a grade\"></label>\n";
    Selector("filter-supplier", "Supplier", suppliers, false, out);
    Selector("filter-family", "Family", families, true, out);
    out << "<span id=\"shown\" class=\"note\"></span>\n</div>\n"
           "<table id=\"grades\">\n<thead><tr><th>Supplier</th><th>Grade</th>"
           "<th>Description</th><th>Family</th></tr></thead>\n<tbody>\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const IndexRow& row = rows[i];
        out << "<tr data-s=\"" << suppliers.of_row[i] << "\" data-f=\"" << families.of_row[i]
            << "\"><td>" << HtmlText(row.supplier) << "</td><td><a href=\"" << HtmlText(row.page)
            << "\">" << HtmlText(row.code) << "</a></td><td>" << HtmlText(row.description)
            << "</td><td>" << HtmlText(row.family) << "</td></tr>\n";
    }
    out << "</tbody>\n</table>\n" << kScript << kPageEnd;
    return out.str();
}

}  // namespace tarnvel::catalogue
