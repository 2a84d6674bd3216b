#include "EpubReader.h"

#include "HtmlReader.h"
#include "OfficeText.h"

#include <array>
#include <map>

namespace {

constexpr std::array<std::string_view, 1> epubEndings{".epub"};

// `href` (relative to the package's folder, maybe with a fragment or
// escapes left as they are) as a member name.
std::string memberName(const std::string &folder, std::string href)
{
    if (const std::size_t hash = href.find('#'); hash != std::string::npos)
        href.resize(hash);
    std::string name = folder + href;
    // "a/../b" as the archive names it: "b".
    for (std::size_t up; (up = name.find("/../")) != std::string::npos;) {
        const std::size_t start = name.rfind('/', up == 0 ? 0 : up - 1);
        name.erase(start == std::string::npos ? 0 : start + 1, up + 4 - (start == std::string::npos ? 0 : start + 1));
    }
    return name;
}

}  // namespace

std::span<const std::string_view> EpubReader::endings() const
{
    return epubEndings;
}

ExtractedDocument EpubReader::readFile(std::string_view bytes) const
{
    ExtractedDocument out;
    const std::unique_ptr<ZipArchive> archive = ZipArchive::open(bytes, out.error);
    if (!archive)
        return out;
    const std::unique_ptr<XmlDocument> container = readXmlMember(*archive, "META-INF/container.xml", out);
    if (!container)
        return out;
    const std::string packagePath = attributeOf(findBelow(container->root(), "rootfile"), "full-path");
    if (packagePath.empty()) {
        out.error = "its container names no package";
        return out;
    }
    const std::unique_ptr<XmlDocument> package = readXmlMember(*archive, packagePath, out);
    if (!package)
        return out;
    const std::size_t slash = packagePath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : packagePath.substr(0, slash + 1);
    std::map<std::string, std::string> hrefs;  // manifest: id -> href
    if (const xmlNode *manifest = findBelow(package->root(), "manifest")) {
        for (const xmlNode *item = manifest->children; item; item = item->next) {
            if (isElement(item, "item"))
                hrefs[attributeOf(item, "id")] = attributeOf(item, "href");
        }
    }
    const HtmlReader html;
    if (const xmlNode *spine = findBelow(package->root(), "spine")) {
        for (const xmlNode *itemref = spine->children; itemref; itemref = itemref->next) {
            if (!isElement(itemref, "itemref"))
                continue;
            const auto href = hrefs.find(attributeOf(itemref, "idref"));
            if (href == hrefs.end())
                continue;
            const std::string name = memberName(folder, href->second);
            std::string why;
            const std::optional<std::string> chapter = archive->read(name, why);
            if (!chapter) {
                out.warnings.push_back("chapter passed over: " + why);
                continue;
            }
            ExtractedDocument read = html.read(*chapter);
            if (!read.error.empty()) {
                out.warnings.push_back("chapter " + name + " passed over: " + read.error);
                continue;
            }
            out.text += read.text;
        }
    }
    if (const xmlNode *metadata = findBelow(package->root(), "metadata")) {
        addField(out, "title", metadata, {"title"});
        addField(out, "author", metadata, {"creator"});
        addField(out, "date", metadata, {"date"});
    }
    return out;
}
