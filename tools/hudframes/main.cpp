// ostrelo-hudframes: draws synthetic HUD frames.
//   ostrelo-hudframes frame OUT.png [--screen in-match|downed|placement|lobby] [--size WxH]
//       [--kills N] [--players N] [--teams N] [--wins N] [--plates X] [--red-players]
//       [--placement N] [--card-kills N] [--seed N] [--ground NAME] [--haze X] [--map-minimap]
//       [--face FONTFILE] [--tracking X] [--shadow]

#include "tools/hudframes/hud_frame.h"

#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

using namespace ostrelo::hudframes;

namespace {

int usage()
{
	std::fprintf(stderr, "usage: ostrelo-hudframes frame OUT.png [--screen in-match|downed|placement|lobby] "
			     "[--size WxH] [--kills N] [--players N] [--teams N] [--wins N] [--plates X] "
			     "[--red-players] [--placement N] [--card-kills N] [--seed N] "
			     "[--ground dim|interior|terrain|street|sand|snow|flash] [--haze X] [--map-minimap] "
			     "[--face FONTFILE] [--tracking X] [--shadow]\n");
	return 2;
}

} // namespace

int main(int argc, char **argv)
{
	QGuiApplication app(argc, argv);
	QStringList args = app.arguments();
	if (args.size() < 3 || args[1] != "frame")
		return usage();
	const QString out = args[2];
	HudFrame f;
	for (int i = 3; i < args.size(); ++i) {
		const QString a = args[i];
		auto next = [&](bool &ok) {
			ok = i + 1 < args.size();
			return ok ? args[++i] : QString();
		};
		bool ok = true;
		if (a == "--screen") {
			const QString s = next(ok);
			if (s == "in-match")
				f.screen = Screen::InMatch;
			else if (s == "downed")
				f.screen = Screen::Downed;
			else if (s == "placement")
				f.screen = Screen::PlacementCard;
			else if (s == "lobby")
				f.screen = Screen::Lobby;
			else
				return usage();
		} else if (a == "--size") {
			const QStringList wh = next(ok).split('x');
			if (wh.size() != 2)
				return usage();
			f.width = wh[0].toInt();
			f.height = wh[1].toInt();
		} else if (a == "--kills") {
			f.kills = next(ok).toInt();
		} else if (a == "--players") {
			f.playersLeft = next(ok).toInt();
		} else if (a == "--teams") {
			f.teamsLeft = next(ok).toInt();
		} else if (a == "--wins") {
			f.wins = next(ok).toInt();
		} else if (a == "--plates") {
			f.plates = next(ok).toDouble();
		} else if (a == "--red-players") {
			f.redPlayers = true;
		} else if (a == "--placement") {
			f.placement = next(ok).toInt();
		} else if (a == "--card-kills") {
			f.cardKills = next(ok).toInt();
		} else if (a == "--seed") {
			f.seed = next(ok).toUInt();
		} else if (a == "--ground") {
			if (!groundFromName(next(ok), f.ground))
				return usage();
		} else if (a == "--haze") {
			f.haze = next(ok).toDouble();
		} else if (a == "--map-minimap") {
			f.minimap = Minimap::Map;
		} else if (a == "--face") {
			f.face = faceFamily(next(ok));
			if (f.face.isEmpty())
				return usage();
		} else if (a == "--tracking") {
			f.tracking = next(ok).toDouble();
		} else if (a == "--shadow") {
			f.counterShadow = true;
		} else {
			return usage();
		}
		if (!ok)
			return usage();
	}
	if (f.width < 64 || f.height < 64)
		return usage();
	if (!renderHudFrame(f).save(out)) {
		std::fprintf(stderr, "could not write %s\n", qPrintable(out));
		return 1;
	}
	return 0;
}
