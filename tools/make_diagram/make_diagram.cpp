// Build tool (host): draws the layout diagram stand-in, a one-page PDF 1.7 of the keyboard's
// key rows with the letters of the Q7 layout.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// The letter rows of the layout as the diagram shows them.
const char* const rows[] = {"1 2 3 4 5 6 7 8 9 0 - =", "Q W E R T Z U I O P [ ]",
                            "A S D F G H J K L ; '", "Y X C V B N M , . /"};

std::string page_content()
{
    std::string out;
    char line[256];
    out += "BT /F1 20 Tf 56 540 Td (Tastaturbelegung DIN Q7 - Schaubild) Tj ET\n";
    for (int row = 0; row < 4; row++) {
        int x = 56 + row * 18, y = 460 - row * 60;
        for (const char* key = rows[row]; *key; key++) {
            if (*key == ' ')
                continue;
            snprintf(line, sizeof line, "0.94 0.94 0.92 rg %d %d 44 44 re f 0 0 0 RG %d %d 44 44 re S\n",
                     x, y, x, y);
            out += line;
            const char* escaped = (*key == '(' || *key == ')' || *key == '\\') ? "\\" : "";
            snprintf(line, sizeof line, "0 0 0 rg BT /F1 18 Tf %d %d Td (%s%c) Tj ET\n", x + 16,
                     y + 15, escaped, *key);
            out += line;
            x += 52;
        }
    }
    out += "0.94 0.94 0.92 rg 200 160 300 44 re f 0 0 0 RG 200 160 300 44 re S\n";
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_diagram OUTPUT.pdf\n");
        return 2;
    }
    std::string content = page_content();
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 842 595] /Resources << /Font << /F1 4 0 R >> "
        ">> /Contents 5 0 R >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
    };
    std::string pdf = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); i++) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char entry[32];
        snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";

    FILE* file = fopen(argv[1], "wb");
    if (!file || fwrite(pdf.data(), 1, pdf.size(), file) != pdf.size() || fclose(file) != 0) {
        fprintf(stderr, "make_diagram: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
