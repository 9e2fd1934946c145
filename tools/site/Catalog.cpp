#include "tools/site/Catalog.h"

#include <stdexcept>

namespace bnsite {

namespace {

struct MetroSpec {
    const char* code;
    const char* name;
    const char* state;
};

struct SubAreaSpec {
    const char* metro;
    std::vector<std::pair<const char*, const char*>> areas;  // code, title
};

const std::vector<std::string> kGenericPlaces = {
    "downtown",    "north side", "south end",           "east side",
    "west end",    "old town",   "university district", "riverside",
    "the heights", "midtown",    "harbor view",         "suburbs",
};

}  // namespace

int Metro::subAreaIndex(std::string_view code) const {
    for (size_t i = 0; i < subAreas.size(); ++i) {
        if (subAreas[i].code == code) return static_cast<int>(i);
    }
    return -1;
}

const Catalog& Catalog::shared() {
    static const Catalog catalog;
    return catalog;
}

Catalog::Catalog() {
    // ---- regions and states ------------------------------------------------------------------
    regions = {{"US", false},      {"Canada", true},
               {"Europe", false},  {"Asia, Pacific and Middle East", true},
               {"Oceania", false}, {"Latin America and Caribbean", true},
               {"Africa", false}};
    struct StateSpec {
        const char* name;
        int region;
        const char* zone;
        int offset;
        bool english;
    };
    const StateSpec stateSpecs[] = {
        {"Alabama", 0, "CST", -6, false},
        {"Arizona", 0, "MST", -7, false},
        {"California", 0, "PST", -8, false},
        {"Colorado", 0, "MST", -7, false},
        {"District of Columbia", 0, "EST", -5, false},
        {"Florida", 0, "EST", -5, false},
        {"Georgia", 0, "EST", -5, false},
        {"Hawaii", 0, "HST", -10, false},
        {"Illinois", 0, "CST", -6, false},
        {"Massachusetts", 0, "EST", -5, false},
        {"Michigan", 0, "EST", -5, false},
        {"Minnesota", 0, "CST", -6, false},
        {"New York", 0, "EST", -5, false},
        {"Ohio", 0, "EST", -5, false},
        {"Oregon", 0, "PST", -8, false},
        {"Pennsylvania", 0, "EST", -5, false},
        {"Texas", 0, "CST", -6, false},
        {"Washington", 0, "PST", -8, false},
        {"Alberta", 1, "MST", -7, false},
        {"British Columbia", 1, "PST", -8, false},
        {"Ontario", 1, "EST", -5, false},
        {"Quebec", 1, "EST", -5, true},
        {"Austria", 2, "GMT", 0, true},
        {"Denmark", 2, "GMT", 0, true},
        {"Finland", 2, "GMT", 0, true},
        {"France", 2, "GMT", 0, true},
        {"Germany", 2, "GMT", 0, true},
        {"Ireland", 2, "GMT", 0, false},
        {"Italy", 2, "GMT", 0, true},
        {"Luxembourg", 2, "GMT", 0, true},
        {"Netherlands", 2, "GMT", 0, false},
        {"Norway", 2, "GMT", 0, true},
        {"Portugal", 2, "GMT", 0, true},
        {"Spain", 2, "GMT", 0, true},
        {"Sweden", 2, "GMT", 0, true},
        {"Switzerland", 2, "GMT", 0, true},
        {"Turkey", 2, "GMT", 0, true},
        {"United Kingdom", 2, "GMT", 0, false},
        {"India", 3, "GMT", 0, false},
        {"Israel", 3, "GMT", 0, false},
        {"Japan", 3, "GMT", 0, false},
        {"Korea", 3, "GMT", 0, false},
        {"Singapore", 3, "GMT", 0, false},
        {"Australia", 4, "GMT", 0, false},
        {"New Zealand", 4, "GMT", 0, false},
        {"Argentina", 5, "GMT", 0, true},
        {"Brazil", 5, "GMT", 0, true},
        {"Chile", 5, "GMT", 0, true},
        {"Costa Rica", 5, "GMT", 0, false},
        {"Mexico", 5, "GMT", 0, true},
        {"Puerto Rico", 5, "GMT", 0, true},
        {"Uruguay", 5, "GMT", 0, true},
        {"Egypt", 6, "GMT", 0, false},
        {"Kenya", 6, "GMT", 0, false},
        {"South Africa", 6, "GMT", 0, true},
    };
    for (const auto& s : stateSpecs)
        states.push_back({s.name, s.region, s.zone, s.offset, s.english});

    const MetroSpec metroSpecs[] = {
        {"birmingham", "birmingham", "Alabama"},
        {"huntsville", "huntsville", "Alabama"},
        {"mobile", "mobile", "Alabama"},
        {"montgomery", "montgomery", "Alabama"},
        {"phoenix", "phoenix", "Arizona"},
        {"tucson", "tucson", "Arizona"},
        {"flagstaff", "flagstaff / sedona", "Arizona"},
        {"losangeles", "los angeles", "California"},
        {"sandiego", "san diego", "California"},
        {"sfbay", "SF bay area", "California"},
        {"sacramento", "sacramento", "California"},
        {"fresno", "fresno / madera", "California"},
        {"denver", "denver", "Colorado"},
        {"boulder", "boulder", "Colorado"},
        {"cosprings", "colorado springs", "Colorado"},
        {"washingtondc", "washington, DC", "District of Columbia"},
        {"fortlauderdale", "ft lauderdale", "Florida"},
        {"fortmyers", "ft myers / SW florida", "Florida"},
        {"miami", "miami / dade", "Florida"},
        {"tampa", "tampa bay area", "Florida"},
        {"westpalmbeach", "west palm beach", "Florida"},
        {"orlando", "orlando", "Florida"},
        {"jacksonville", "jacksonville", "Florida"},
        {"atlanta", "atlanta", "Georgia"},
        {"savannah", "savannah / hinesville", "Georgia"},
        {"athensga", "athens", "Georgia"},
        {"honolulu", "hawaii", "Hawaii"},
        {"chicago", "chicago", "Illinois"},
        {"springfieldil", "springfield", "Illinois"},
        {"peoria", "peoria", "Illinois"},
        {"boston", "boston", "Massachusetts"},
        {"worcester", "worcester / central MA", "Massachusetts"},
        {"westernmass", "western massachusetts", "Massachusetts"},
        {"capecod", "cape cod / islands", "Massachusetts"},
        {"detroit", "detroit metro", "Michigan"},
        {"grandrapids", "grand rapids", "Michigan"},
        {"annarbor", "ann arbor", "Michigan"},
        {"minneapolis", "minneapolis / st paul", "Minnesota"},
        {"duluth", "duluth / superior", "Minnesota"},
        {"rmn", "rochester", "Minnesota"},
        {"newyork", "new york city", "New York"},
        {"albany", "albany", "New York"},
        {"buffalo", "buffalo", "New York"},
        {"rochester", "rochester", "New York"},
        {"syracuse", "syracuse", "New York"},
        {"cleveland", "cleveland", "Ohio"},
        {"columbus", "columbus", "Ohio"},
        {"cincinnati", "cincinnati", "Ohio"},
        {"portland", "portland", "Oregon"},
        {"eugene", "eugene", "Oregon"},
        {"bend", "bend", "Oregon"},
        {"philadelphia", "philadelphia", "Pennsylvania"},
        {"pittsburgh", "pittsburgh", "Pennsylvania"},
        {"harrisburg", "harrisburg", "Pennsylvania"},
        {"dallas", "dallas / fort worth", "Texas"},
        {"houston", "houston", "Texas"},
        {"austin", "austin", "Texas"},
        {"sanantonio", "san antonio", "Texas"},
        {"elpaso", "el paso", "Texas"},
        {"seattle", "seattle-tacoma", "Washington"},
        {"spokane", "spokane / coeur d'alene", "Washington"},
        {"bellingham", "bellingham", "Washington"},
        {"calgary", "calgary", "Alberta"},
        {"edmonton", "edmonton", "Alberta"},
        {"vancouver", "vancouver", "British Columbia"},
        {"victoria", "victoria", "British Columbia"},
        {"toronto", "toronto", "Ontario"},
        {"ottawa", "ottawa-hull-gatineau", "Ontario"},
        {"hamilton", "hamilton-burlington", "Ontario"},
        {"montreal", "montreal", "Quebec"},
        {"quebec", "quebec city", "Quebec"},
        {"sherbrooke", "sherbrooke", "Quebec"},
        {"vienna", "vienna", "Austria"},
        {"copenhagen", "copenhagen", "Denmark"},
        {"helsinki", "helsinki", "Finland"},
        {"paris", "paris", "France"},
        {"lyon", "lyon", "France"},
        {"marseilles", "marseille", "France"},
        {"berlin", "berlin", "Germany"},
        {"munich", "munich", "Germany"},
        {"hamburg", "hamburg", "Germany"},
        {"dublin", "dublin", "Ireland"},
        {"rome", "rome", "Italy"},
        {"milan", "milan", "Italy"},
        {"luxembourg", "luxembourg", "Luxembourg"},
        {"amsterdam", "amsterdam / randstad", "Netherlands"},
        {"oslo", "oslo", "Norway"},
        {"lisbon", "lisbon", "Portugal"},
        {"madrid", "madrid", "Spain"},
        {"barcelona", "barcelona", "Spain"},
        {"stockholm", "stockholm", "Sweden"},
        {"zurich", "zurich", "Switzerland"},
        {"geneva", "geneva", "Switzerland"},
        {"istanbul", "istanbul", "Turkey"},
        {"london", "london", "United Kingdom"},
        {"manchester", "manchester", "United Kingdom"},
        {"edinburgh", "edinburgh", "United Kingdom"},
        {"delhi", "delhi", "India"},
        {"mumbai", "mumbai", "India"},
        {"telaviv", "tel aviv", "Israel"},
        {"tokyo", "tokyo", "Japan"},
        {"osaka", "osaka-kobe-kyoto", "Japan"},
        {"seoul", "seoul", "Korea"},
        {"singapore", "singapore", "Singapore"},
        {"sydney", "sydney", "Australia"},
        {"melbourne", "melbourne", "Australia"},
        {"perth", "perth", "Australia"},
        {"auckland", "auckland", "New Zealand"},
        {"wellington", "wellington", "New Zealand"},
        {"buenosaires", "buenos aires", "Argentina"},
        {"saopaulo", "sao paulo", "Brazil"},
        {"rio", "rio de janeiro", "Brazil"},
        {"santiago", "santiago", "Chile"},
        {"costarica", "costa rica", "Costa Rica"},
        {"mexicocity", "mexico city", "Mexico"},
        {"tijuana", "tijuana", "Mexico"},
        {"puertorico", "puerto rico", "Puerto Rico"},
        {"montevideo", "montevideo", "Uruguay"},
        {"cairo", "cairo", "Egypt"},
        {"nairobi", "nairobi", "Kenya"},
        {"capetown", "cape town", "South Africa"},
        {"johannesburg", "johannesburg", "South Africa"},
    };
    for (const auto& m : metroSpecs) {
        Metro metro;
        metro.code = m.code;
        metro.name = m.name;
        metro.state = -1;
        for (size_t i = 0; i < states.size(); ++i) {
            if (states[i].name == m.state) metro.state = static_cast<int>(i);
        }
        if (metro.state < 0) throw std::logic_error("metro of an unknown state");
        metro.places = kGenericPlaces;
        metros.push_back(std::move(metro));
    }

    // The 22 metros whose home pages carry a sub-area bar.
    // clang-format off
    const SubAreaSpec subAreaSpecs[] = {
        {"phoenix", {{"cph", "central/south phx"}, {"evl", "east valley"}, {"nph", "phx north"}, {"wvl", "west valley"}}},
        {"losangeles", {{"ant", "antelope valley"}, {"lgb", "long beach / 562"}, {"lac", "central LA 213/323"}, {"sfv", "san fernando valley"}, {"sgv", "san gabriel valley"}, {"wst", "westside-southbay-310"}}},
        {"sandiego", {{"csd", "city of san diego"}, {"nsd", "north SD county"}, {"esd", "east SD county"}, {"ssd", "south SD county"}}},
        {"sfbay", {{"sfc", "city of san francisco"}, {"eby", "east bay area"}, {"nby", "north bay / marin"}, {"pen", "peninsula"}, {"sby", "south bay area"}, {"scz", "santa cruz co"}}},
        {"washingtondc", {{"doc", "district of columbia"}, {"nva", "northern virginia"}, {"mld", "maryland"}}},
        {"fortlauderdale", {{"brw", "broward county"}, {"cor", "coral springs"}, {"hol", "hollywood"}}},
        {"fortmyers", {{"lee", "lee county"}, {"chl", "charlotte co"}, {"col", "collier co"}}},
        {"miami", {{"mdc", "miami / dade"}, {"brw", "broward county"}, {"pbc", "palm beach co"}}},
        {"tampa", {{"hdo", "hernando co"}, {"hil", "hillsborough co"}, {"psc", "pasco co"}, {"pnl", "pinellas co"}}},
        {"westpalmbeach", {{"pbc", "palm beach co"}, {"mrt", "martin co"}, {"stl", "st lucie co"}}},
        {"atlanta", {{"atl", "city of atlanta"}, {"eat", "otp east"}, {"nat", "otp north"}, {"sat", "otp south"}, {"wat", "otp west"}}},
        {"honolulu", {{"oah", "oahu"}, {"big", "big island"}, {"mau", "maui"}, {"kau", "kauai"}}},
        {"chicago", {{"chc", "city of chicago"}, {"nch", "north chicagoland"}, {"wcl", "west chicagoland"}, {"sox", "south chicagoland"}, {"nwi", "northwest indiana"}, {"nwc", "northwest suburbs"}}},
        {"boston", {{"gbs", "boston/camb/brook"}, {"nos", "north shore"}, {"bmw", "metro west"}, {"sob", "south shore"}, {"nwb", "northwest/merrimack"}}},
        {"detroit", {{"mcb", "macomb co"}, {"okl", "oakland co"}, {"wyn", "wayne co"}}},
        {"minneapolis", {{"hnp", "hennepin co"}, {"ram", "ramsey co"}, {"ank", "anoka/chisago/isanti"}, {"dak", "dakota/scott"}, {"wsh", "washington co / WI"}}},
        {"newyork", {{"mnh", "manhattan"}, {"brk", "brooklyn"}, {"que", "queens"}, {"brx", "bronx"}, {"stn", "staten island"}, {"jsy", "new jersey"}, {"lgi", "long island"}, {"wch", "westchester"}, {"fct", "fairfield co, CT"}}},
        {"portland", {{"mlt", "multnomah co"}, {"wsc", "washington co"}, {"clk", "clark/cowlitz WA"}, {"clc", "clackamas co"}, {"yam", "yamhill co"}}},
        {"dallas", {{"dal", "dallas"}, {"ftw", "fort worth"}, {"mdf", "mid cities"}, {"ndf", "north DFW"}, {"sdf", "south DFW"}}},
        {"seattle", {{"see", "seattle"}, {"est", "eastside"}, {"sno", "snohomish co"}, {"kit", "kitsap / west puget"}, {"tac", "tacoma / pierce"}, {"oly", "olympia / thurston"}, {"skc", "south king co"}}},
        {"vancouver", {{"van", "city of vancouver"}, {"bnc", "burnaby/newwest"}, {"rch", "delta/surrey/langley"}, {"nvn", "north shore"}, {"pml", "tricities/pitt/maple"}, {"rds", "richmond"}}},
        {"toronto", {{"tor", "city of toronto"}, {"bra", "brampton"}, {"drh", "durham region"}, {"yrk", "york region"}, {"oak", "oakville-burlington"}, {"mss", "mississauga"}}},
    };
    // clang-format on
    const std::vector<std::string> hoodsByArea[] = {
        {"mnh", "chelsea", "east village", "harlem", "soho", "upper west side", "midtown"},
        {"brk", "park slope", "williamsburg", "bushwick", "bay ridge", "crown heights"},
        {"sfc", "mission district", "noe valley", "sunset / parkside", "pacific heights",
         "richmond / seacliff", "soma / south beach"},
        {"eby", "oakland downtown", "berkeley", "alameda", "emeryville", "fremont / newark"},
        {"gbs", "cambridge", "brookline", "jamaica plain", "somerville", "allston / brighton",
         "back bay"},
        {"chc", "lincoln park", "wicker park", "logan square", "hyde park", "lakeview"},
    };
    for (const auto& spec : subAreaSpecs) {
        Metro& metro = metros[static_cast<size_t>(metroIndex(spec.metro))];
        for (const auto& [code, title] : spec.areas) {
            SubArea area{code, title, {}};
            for (const auto& hoods : hoodsByArea) {
                if (hoods.front() == code)
                    area.neighbourhoods.assign(hoods.begin() + 1, hoods.end());
            }
            metro.subAreas.push_back(std::move(area));
        }
    }
    // A place note with an entity in it.
    metros[static_cast<size_t>(metroIndex("boston"))].places.push_back(
        "jamaica plain &amp; roslindale");

    // ---- sections and categories -------------------------------------------------------------
    sections = {
        {"community", "ccc", false, false, "comm"},  // 0
        {"personals", "", false, false, "pers"},     // 1: plainly headed, no catch-all
        {"housing", "hhh", false, true, "hous"},     // 2
        {"for sale", "sss", false, true, "sale"},    // 3
        {"services", "bbb", false, false, "serv"},   // 4
        {"jobs", "jjj", false, false, "job"},        // 5
        {"gigs", "ggg", true, false, "gig"},         // 6: headed by a /cgi-bin/ link
        {"resumes", "rrr", false, false, "res"},     // 7
    };
    forumNames = {"apple",   "arts",   "autos",  "bikes",   "books", "cooking", "diy",  "film",
                  "fitness", "gaming", "garden", "history", "jobs",  "music",   "pets", "travel"};

    struct CategorySpec {
        const char* code;
        const char* name;
        LinkForm form;
        const char* owner;
        const char* dealer;
        int minPrice, maxPrice;
        int volume;  // -1: fixed count
        int fixed;
        std::vector<std::string> nouns;
    };
    using L = LinkForm;
    // clang-format off
    const std::vector<std::pair<int, std::vector<CategorySpec>>> specs = {
        {0, {
            {"act", "activities", L::Relative, "", "", 0, 0, 40, 0, {"hiking group", "board game night", "running partners", "pickup soccer"}},
            {"ats", "artists", L::Relative, "", "", 0, 0, 25, 0, {"mural artist", "studio space share", "figure drawing session"}},
            {"kid", "childcare", L::Relative, "", "", 0, 0, 30, 0, {"nanny share", "after school care", "babysitter"}},
            {"cls", "classes", L::Relative, "", "", 0, 0, 35, 0, {"guitar lessons", "spanish class", "pottery workshop", "yoga class"}},
            {"eve", "events", L::Relative, "", "", 0, 0, 45, 0, {"block party", "craft fair", "open mic", "charity run"}},
            {"gen", "general", L::Relative, "", "", 0, 0, 30, 0, {"book swap", "community garden", "free advice"}},
            {"grp", "groups", L::Relative, "", "", 0, 0, 20, 0, {"book club", "knitting circle", "chess club"}},
            {"vnn", "local news", L::Relative, "", "", 0, 0, -1, 0, {"town meeting"}},
            {"laf", "lost &amp; found", L::Relative, "", "", 0, 0, 35, 0, {"lost cat", "found keys", "lost wallet", "found dog"}},
            {"muc", "musicians", L::Relative, "", "", 0, 0, 40, 0, {"drummer wanted", "bass player", "singer for cover band"}},
            {"pet", "pets", L::Relative, "", "", 0, 0, 35, 0, {"kittens to rehome", "dog walker", "rabbit hutch"}},
            {"pol", "politics", L::Relative, "", "", 0, 0, 15, 0, {"volunteers for campaign", "debate night"}},
            {"rid", "rideshare", L::Relative, "", "", 0, 0, 25, 0, {"ride to the airport", "carpool downtown", "ride to montreal"}},
            {"vol", "volunteers", L::Relative, "", "", 0, 0, 25, 0, {"food bank helpers", "park cleanup", "tutors"}},
        }},
        {1, {
            {"stp", "strictly platonic", L::Relative, "", "", 0, 0, 40, 0, {"hiking buddy", "coffee and conversation", "tennis partner"}}, {"w4w", "women seek women", L::Relative, "", "", 0, 0, 30, 0, {"dinner and a movie", "looking for my match"}}, {"w4m", "women seeking men", L::Relative, "", "", 0, 0, 60, 0, {"dinner and a movie", "adventurous soul", "looking for a gentleman"}}, {"m4w", "men seeking women", L::Relative, "", "", 0, 0, 80, 0, {"let's grab a drink", "nice guy", "seeking a partner in crime"}}, {"m4m", "men seeking men", L::Relative, "", "", 0, 0, 40, 0, {"gym buddy", "weekend fun", "looking for friends"}},
            {"msr", "misc romance", L::Relative, "", "", 0, 0, 25, 0, {"romantic evenings", "old fashioned romance"}},
            {"cas", "casual encounters", L::Relative, "", "", 0, 0, 120, 0, {"tonight only", "spontaneous fun", "discreet meeting"}},
            {"mis", "missed connections", L::Relative, "", "", 0, 0, 70, 0, {"red scarf on the train", "you smiled at the bakery", "dog park on sunday"}},
            {"rnr", "rants &amp; raves", L::Relative, "", "", 0, 0, 50, 0, {"rude drivers", "best pizza ever", "noisy neighbours"}},
        }},
        {2, {
            {"apa", "apts / housing", L::ApartmentsCgi, "", "", 650, 4200, 200, 0, {"studio", "1br apartment", "2br apartment", "3br house", "loft"}},
            {"apt", "apts / housing for rent", L::Relative, "", "", 650, 4200, 60, 0, {"1br apartment", "2br flat", "garden unit"}},
            {"roo", "rooms / shared", L::Relative, "", "", 350, 1400, 110, 0, {"room in shared house", "furnished room", "private room"}},
            {"sub", "sublets / temporary", L::Relative, "", "", 500, 2500, 60, 0, {"summer sublet", "short term studio", "sublet near campus"}},
            {"hsw", "housing wanted", L::Relative, "", "", 0, 0, 40, 0, {"looking for a room", "couple seeks apartment"}},
            {"swp", "housing swap", L::Relative, "", "", 0, 0, 15, 0, {"swap 1br for 2br", "house exchange"}},
            {"vac", "vacation rentals", L::Relative, "", "", 80, 900, 45, 0, {"beach cottage", "ski chalet", "lake cabin"}},
            {"prk", "parking / storage", L::Relative, "", "", 40, 400, 35, 0, {"garage space", "storage unit", "parking spot"}},
            {"off", "office / commercial", L::Relative, "", "", 400, 9000, 40, 0, {"office suite", "retail space", "warehouse"}},
            {"rea", "real estate for sale", L::Relative, "", "", 90000, 950000, 80, 0, {"condo", "single family home", "townhouse"}},
            {"aps", "apts index", L::ApartmentIndex, "", "", 650, 4200, -1, 0, {"apartment"}},
        }},
        {3, {
            {"atq", "antiques", L::Relative, "", "", 15, 2500, 60, 0, {"oak dresser", "brass lamp", "victorian chair", "old clock"}},
            {"ppa", "appliances", L::Relative, "app", "ppd", 40, 1500, 70, 0, {"washer", "dryer", "refrigerator", "dishwasher", "microwave"}},
            {"ars", "arts &amp; crafts", L::Relative, "", "", 5, 400, 40, 0, {"easel", "yarn lot", "sewing machine", "paint set"}},
            {"snw", "atv / utv / sno", L::Relative, "", "", 800, 12000, 25, 0, {"snowmobile", "quad", "dirt bike trailer"}},
            {"pta", "auto parts", L::Relative, "pts", "ptd", 10, 2500, 90, 0, {"alloy wheels", "brake pads", "car stereo", "roof rack", "winter tires"}},
            {"bab", "baby &amp; kid", L::Relative, "", "", 5, 450, 60, 0, {"stroller", "crib", "car seat", "high chair"}},
            {"bar", "barter", L::Relative, "", "", 0, 0, 25, 0, {"trade guitar for bike", "swap furniture"}},
            {"hab", "beauty &amp; hlth", L::Relative, "", "", 5, 300, 30, 0, {"hair dryer", "massage table", "skin care set"}},
            {"bik", "bikes", L::Relative, "", "", 40, 2400, -1, 240, {"road bike", "mountain bike", "bmx", "cruiser", "fixie", "hybrid bike", "kids bike"}},
            {"boo", "boats", L::Relative, "boa", "bod", 300, 45000, 40, 0, {"kayak", "canoe", "sailboat", "fishing boat", "jet ski"}},
            {"bks", "books", L::Relative, "", "", 2, 120, 45, 0, {"textbooks", "cookbook collection", "novels lot", "comics"}},
            {"bfs", "business", L::Relative, "", "", 200, 60000, 25, 0, {"food truck", "espresso machine", "display cases"}},
            {"cta", "cars &amp; trucks", L::AutoIndex, "cto", "ctd", 1200, 38000, 160, 0, {"honda civic", "toyota camry", "ford f-150", "subaru outback", "vw jetta"}},
            {"emd", "cds / dvd / vhs", L::Relative, "", "", 1, 150, 30, 0, {"dvd collection", "vinyl records", "cd lot"}},
            {"moa", "cell phones", L::Relative, "mob", "mod", 20, 700, 55, 0, {"iphone", "android phone", "flip phone"}},
            {"clo", "clothes &amp; acc", L::Relative, "", "", 5, 400, 60, 0, {"leather jacket", "winter coat", "designer handbag", "boots"}},
            {"clt", "collectibles", L::Relative, "", "", 5, 3000, -1, 140, {"baseball cards", "coins", "stamps", "vintage toys"}},
            {"sya", "computers", L::Relative, "sys", "syd", 60, 2500, 80, 0, {"laptop", "desktop pc", "monitor", "gaming pc"}},
            {"ela", "electronics", L::Relative, "ele", "eld", 15, 1800, 90, 0, {"flat screen tv", "speakers", "camera", "receiver"}},
            {"grd", "farm &amp; garden", L::Relative, "", "", 10, 3000, 40, 0, {"lawn mower", "garden tools", "chicken coop"}},
            {"zip", "free stuff", L::Relative, "", "", 0, 0, 70, 0, {"free couch", "free firewood", "free boxes"}},
            {"fua", "furniture", L::Relative, "fuo", "fud", 15, 3000, 150, 0, {"sofa", "dining table", "dresser", "bookshelf", "desk", "bed frame"}},
            {"gms", "garage sale", L::Relative, "", "", 0, 0, 50, 0, {"moving sale", "yard sale", "estate sale"}},
            {"for", "general for sale", L::Relative, "", "", 5, 900, 90, 0, {"misc items", "box of tools", "window unit"}},
            {"hsh", "household", L::Relative, "", "", 5, 400, 70, 0,
            {"rug", "curtains", "kitchen set", "lamp"}},
            {"jwl", "jewelry", L::Relative, "", "", 20, 6000, 30, 0, {"engagement ring", "silver necklace", "watch"}},
            {"mat", "materials", L::Relative, "", "", 10, 1500, 30, 0, {"lumber", "tiles", "bricks", "drywall"}},
            {"mca", "motorcycles", L::Relative, "mcy", "mcd", 900, 18000, 60, 0, {"harley", "sport bike", "scooter", "dual sport"}},
            {"msg", "musical instruments", L::Relative, "", "", 30, 5000, 60, 0, {"acoustic guitar", "keyboard", "drum kit", "violin"}},
            {"pho", "photo &amp; video", L::Relative, "", "", 30, 3000, 35, 0, {"dslr camera", "tripod", "lens", "camcorder"}},
            {"rva", "rvs", L::Relative, "rvs", "rvd", 3000, 90000, 30, 0, {"travel trailer", "camper van", "motorhome"}},
            {"spo", "sporting", L::Relative, "", "", 5, 1500, 60, 0, {"golf clubs", "skis", "treadmill", "weights"}},
            {"tia", "tickets", L::Relative, "tix", "tid", 10, 600, 50, 0, {"concert tickets", "season tickets", "theater tickets"}},
            {"tls", "tools", L::Relative, "", "", 5, 1200, -1, 100, {"table saw", "drill set", "air compressor", "socket set"}},
            {"tag", "toys &amp; games", L::Relative, "", "", 2, 300, 40, 0, {"lego set", "board games", "dollhouse"}},
            {"vgm", "video gaming", L::Relative, "", "", 10, 500, 50, 0, {"game console", "controllers", "games lot"}},
            {"wan", "wanted", L::Relative, "", "", 0, 0, 45, 0, {"wanted: bike rack", "looking for a piano", "wanted: old radios"}},
            {"hvo", "heavy equipment", L::IndexQuery, "", "", 2000, 60000, 20, 0, {"skid steer", "backhoe", "forklift"}},
        }},
        {4, {
            {"cps", "computer", L::Relative, "", "", 0, 0, 40, 0, {"computer repair", "web design", "data recovery"}},
            {"crs", "creative", L::Relative, "", "", 0, 0, 30, 0, {"photography", "graphic design", "video editing"}},
            {"cys", "cycle", L::Relative, "", "", 0, 0, 15, 0, {"bike repair", "tune-ups"}},
            {"evs", "event", L::Relative, "", "", 0, 0, 25, 0, {"dj services", "party rentals", "wedding planner"}},
            {"fgs", "farm &amp; garden", L::Relative, "", "", 0, 0, 20, 0, {"landscaping", "tree removal"}},
            {"fns", "financial", L::Relative, "", "", 0, 0, 20, 0, {"tax preparation", "bookkeeping"}},
            {"hss", "household", L::Relative, "", "", 0, 0, 40, 0, {"house cleaning", "handyman", "organizing"}},
            {"lbs", "labor / move", L::Relative, "", "", 0, 0, 45, 0, {"movers", "junk removal", "hauling"}},
            {"lgs", "legal", L::Relative, "", "", 0, 0, 15, 0, {"notary", "immigration help"}},
            {"lss", "lessons", L::Relative, "", "", 0, 0, 40, 0, {"piano lessons", "math tutoring", "swim lessons"}},
            {"mas", "marine", L::Relative, "", "", 0, 0, 10, 0, {"boat detailing", "hull repair"}},
            {"pas", "pet", L::Relative, "", "", 0, 0, 25, 0, {"dog walking", "pet sitting", "grooming"}},
            {"rts", "real estate", L::Relative, "", "", 0, 0, 20, 0, {"home inspection", "property management"}},
            {"sks", "skilled trade", L::Relative, "", "", 0, 0, 45, 0, {"electrician", "plumber", "carpenter", "painter"}},
            {"biz", "sm biz ads", L::Relative, "", "", 0, 0, 25, 0, {"printing", "signs", "catering"}},
            {"thp", "therapeutic", L::Relative, "", "", 0, 0, 20, 0, {"massage therapy", "acupuncture"}},
            {"trv", "travel / vac", L::Relative, "", "", 0, 0, 15, 0, {"airport shuttle", "tour guide"}},
            {"wet", "writing / r&eacute;sum&eacute;s", L::CgiQuery, "", "", 0, 0, 20, 0, {"resume writing", "editing", "translation"}},
        }},
        {5, {
            {"acc", "accounting &amp; finance", L::Relative, "", "", 0, 0, 40, 0, {"staff accountant", "bookkeeper", "payroll clerk"}},
            {"ofc", "admin / office", L::Relative, "", "", 0, 0, 50, 0, {"receptionist", "office manager", "admin assistant"}},
            {"egr", "arch / engineering", L::Relative, "", "", 0, 0, 30, 0, {"civil engineer", "drafter", "architect"}},
            {"med", "art / media / design", L::Relative, "", "", 0, 0, 30, 0, {"graphic designer", "video producer"}},
            {"sci", "biotech / science", L::Relative, "", "", 0, 0, 25, 0, {"lab technician", "research associate"}},
            {"bus", "business / mgmt", L::Relative, "", "", 0, 0, 35, 0, {"operations manager", "project manager"}},
            {"csr", "customer service", L::Relative, "", "", 0, 0, 50, 0, {"call center rep", "customer support agent"}},
            {"edu", "education", L::Relative, "", "", 0, 0, 40, 0, {"teacher", "tutor", "teaching assistant"}},
            {"fbh", "food / bev / hosp", L::Relative, "", "", 0, 0, 70, 0, {"line cook", "server", "bartender", "barista"}},
            {"lab", "general labor", L::Relative, "", "", 0, 0, 60, 0, {"warehouse worker", "laborer", "mover"}},
            {"gov", "government", L::Relative, "", "", 0, 0, 15, 0, {"city clerk", "park ranger"}},
            {"hum", "human resources", L::Relative, "", "", 0, 0, 20, 0, {"hr generalist", "recruiter"}},
            {"eng", "internet engineers", L::Relative, "", "", 0, 0, 35, 0, {"web developer", "devops engineer"}},
            {"lgl", "legal / paralegal", L::Relative, "", "", 0, 0, 20, 0, {"paralegal", "legal secretary"}},
            {"mnu", "manufacturing", L::Relative, "", "", 0, 0, 30, 0, {"machine operator", "assembler"}},
            {"mar", "marketing / pr / ad", L::Relative, "", "", 0, 0, 30, 0, {"marketing coordinator", "copywriter"}},
            {"hea", "medical / health", L::Relative, "", "", 0, 0, 60, 0, {"medical assistant", "nurse", "dental hygienist"}},
            {"npo", "nonprofit sector", L::Relative, "", "", 0, 0, 20, 0, {"program coordinator", "grant writer"}},
            {"rej", "real estate", L::Relative, "", "", 0, 0, 20, 0, {"leasing agent", "property manager"}},
            {"ret", "retail / wholesale", L::Relative, "", "", 0, 0, 55, 0, {"sales associate", "cashier", "store manager"}},
            {"sls", "sales / biz dev", L::Relative, "", "", 0, 0, 45, 0, {"account executive", "sales rep"}},
            {"spa", "salon / spa / fitness", L::Relative, "", "", 0, 0, 30, 0, {"hair stylist", "personal trainer", "nail tech"}},
            {"sec", "security", L::Relative, "", "", 0, 0, 25, 0, {"security guard", "loss prevention"}},
            {"trd", "skilled trade / craft", L::Relative, "", "", 0, 0, 40, 0, {"electrician", "hvac tech", "welder"}},
            {"sof", "software / qa / dba", L::Relative, "", "", 0, 0, 45, 0, {"software engineer", "qa tester", "database admin"}},
            {"sad", "systems / network", L::Relative, "", "", 0, 0, 25, 0, {"sysadmin", "network engineer"}},
            {"tch", "technical support", L::Relative, "", "", 0, 0, 30, 0, {"help desk tech", "it support"}},
            {"trp", "transport", L::Relative, "", "", 0, 0, 45, 0, {"delivery driver", "cdl driver", "courier"}},
            {"tfr", "tv / film / video", L::Relative, "", "", 0, 0, 15, 0, {"production assistant", "camera operator"}},
            {"web", "web / info design", L::Relative, "", "", 0, 0, 25, 0, {"ux designer", "front end developer"}},
            {"wri", "writing / editing", L::Relative, "", "", 0, 0, 20, 0, {"technical writer", "editor"}},
            {"etc", "[ETC]", L::Relative, "", "", 0, 0, 30, 0, {"mystery shopper", "dog walker", "brand ambassador"}},
            {"jpt", "[ part-time ]", L::IndexQuery, "", "", 0, 0, 40, 0, {"part-time cashier", "weekend barista"}},
        }},
        {6, {
            {"cpg", "computer", L::Relative, "", "", 0, 0, 20, 0, {"fix my laptop", "website update"}},
            {"crg", "creative", L::Relative, "", "", 0, 0, 20, 0, {"logo design", "photographer for event"}},
            {"cwg", "crew", L::Relative, "", "", 0, 0, 15, 0, {"film crew", "stage hands"}},
            {"dmg", "domestic", L::Relative, "", "", 0, 0, 20, 0, {"house sitter", "cleaning help"}},
            {"evg", "event", L::Relative, "", "", 0, 0, 15, 0, {"party helpers", "event staff"}},
            {"lbg", "labor", L::Relative, "", "", 0, 0, 35, 0, {"help moving", "yard work"}},
            {"tlg", "talent", L::Relative, "", "", 0, 0, 20, 0, {"actors needed", "extras for video"}},
            {"wrg", "writing", L::Relative, "", "", 0, 0, 10, 0, {"blog writer", "proofreading"}},
        }},
        {7, {}},
    };
    // clang-format on
    for (const auto& [section, list] : specs) {
        for (const auto& s : list) {
            Category c;
            c.code = s.code;
            c.name = s.name;
            c.section = section;
            c.form = s.form;
            c.ownerCode = s.owner;
            c.dealerCode = s.dealer;
            c.sellerVariants = !c.ownerCode.empty();
            c.minPrice = s.minPrice;
            c.maxPrice = s.maxPrice;
            c.volume = s.volume;
            c.fixedCount = s.fixed;
            c.nouns = s.nouns;
            categories.push_back(std::move(c));
        }
    }
    // Resumes: a heading over one category that holds the listings.
    categories.push_back({"res",
                          "resumes",
                          7,
                          LinkForm::Relative,
                          false,
                          "",
                          "",
                          0,
                          0,
                          60,
                          0,
                          {"experienced driver", "recent graduate", "bilingual assistant"}});

    // A path that is a sub-area code and a category at once could not be told apart.
    for (const auto& m : metros) {
        for (const auto& a : m.subAreas) {
            CategorySelector ignored;
            if (select(a.code, &ignored)) throw std::logic_error("sub-area code is a category");
        }
    }
}

int Catalog::metroIndex(std::string_view code) const {
    for (size_t i = 0; i < metros.size(); ++i) {
        if (metros[i].code == code) return static_cast<int>(i);
    }
    return -1;
}

int Catalog::categoryIndex(std::string_view code) const {
    for (size_t i = 0; i < categories.size(); ++i) {
        if (categories[i].code == code) return static_cast<int>(i);
    }
    return -1;
}

int Catalog::sectionIndex(std::string_view name) const {
    for (size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

int Catalog::apartmentsCategory() const {
    return categoryIndex("apa");
}

bool Catalog::select(std::string_view code, CategorySelector* selector) const {
    *selector = CategorySelector{};
    if (code.empty()) return false;
    for (size_t s = 0; s < sections.size(); ++s) {
        if (!sections[s].allCode.empty() && sections[s].allCode == code) {
            for (size_t i = 0; i < categories.size(); ++i) {
                if (categories[i].section == static_cast<int>(s))
                    selector->categories.push_back(static_cast<int>(i));
            }
            selector->catchAll = true;
            return true;
        }
    }
    int apartments = apartmentsCategory();
    if (code == "aap" || code == "nfa" || code == "abo") {
        selector->categories = {apartments};
        if (code == "nfa") selector->filter = CategorySelector::Filter::NoFee;
        if (code == "abo") selector->filter = CategorySelector::Filter::ByOwner;
        return true;
    }
    for (size_t i = 0; i < categories.size(); ++i) {
        const Category& c = categories[i];
        if (c.code == code) {
            // The older apartments path and the apartments index read the apartments.
            if (code == "aps")
                selector->categories = {apartments};
            else
                selector->categories = {static_cast<int>(i)};
            return true;
        }
        if (c.sellerVariants && (c.ownerCode == code || c.dealerCode == code)) {
            selector->categories = {static_cast<int>(i)};
            selector->filter = c.ownerCode == code ? CategorySelector::Filter::Owner
                                                   : CategorySelector::Filter::Dealer;
            return true;
        }
    }
    return false;
}

}  // namespace bnsite
